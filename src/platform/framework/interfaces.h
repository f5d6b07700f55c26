#pragma once
// The interfaces filters, pins, allocators, samples, clocks and the graph talk
// through. Names, methods, parameters and result codes follow the media
// framework every filter writer knows; text crosses as UTF-8 (const char* in,
// std::string out).
#include <cstdint>
#include <string>

#include "mediatype.h"
#include "platform/com/unknown.h"
#include "platform/win/window.h"

using LONG_PTR = std::intptr_t;
using DWORD_PTR = std::uintptr_t;
using REFTIME = double;  // seconds
using LCID = DWORD;
using OAFilterState = long;
using OAEVENT = LONG_PTR;

constexpr DWORD INFINITE = 0xFFFFFFFF;

// Result codes of the framework not already in platform/com/hresult.h.
constexpr HRESULT VFW_E_NO_TRANSPORT = MakeHr(0x8004022F);
constexpr HRESULT VFW_E_SAMPLE_TIME_NOT_SET = MakeHr(0x80040249);
constexpr HRESULT VFW_E_MEDIA_TIME_NOT_SET = MakeHr(0x80040251);
constexpr HRESULT VFW_E_NOT_ALLOWED_TO_SAVE = MakeHr(0x8004024E);
constexpr HRESULT VFW_S_NO_STOP_TIME = MakeHr(0x00040270);
constexpr HRESULT VFW_S_CONNECTIONS_DEFERRED = MakeHr(0x00040245);

class CMediaType;
struct IPin;
struct IBaseFilter;
struct IFilterGraph;
struct IMemAllocator;
struct IReferenceClock;
struct IEnumPins;
struct IEnumMediaTypes;
struct IEnumFilters;

// ---------------------------------------------------------------- enums, structs

enum PIN_DIRECTION { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };

enum FILTER_STATE { State_Stopped = 0, State_Paused = 1, State_Running = 2 };

struct PIN_INFO {
    IBaseFilter* pFilter = nullptr;  // carries a reference: the caller releases it
    PIN_DIRECTION dir = PINDIR_INPUT;
    std::string achName;
};

struct FILTER_INFO {
    std::string achName;
    IFilterGraph* pGraph = nullptr;  // carries a reference when non-null: the caller releases it
};

struct ALLOCATOR_PROPERTIES {
    long cBuffers = 0;
    long cbBuffer = 0;
    long cbAlign = 0;
    long cbPrefix = 0;
};

// IMemAllocator::GetBuffer flags
constexpr DWORD AM_GBF_PREVFRAMESKIPPED = 1;
constexpr DWORD AM_GBF_NOTASYNCPOINT = 2;
constexpr DWORD AM_GBF_NOWAIT = 4;

// IMediaSeeking capabilities
constexpr DWORD AM_SEEKING_CanSeekAbsolute = 0x1;
constexpr DWORD AM_SEEKING_CanSeekForwards = 0x2;
constexpr DWORD AM_SEEKING_CanSeekBackwards = 0x4;
constexpr DWORD AM_SEEKING_CanGetCurrentPos = 0x8;
constexpr DWORD AM_SEEKING_CanGetStopPos = 0x10;
constexpr DWORD AM_SEEKING_CanGetDuration = 0x20;
constexpr DWORD AM_SEEKING_CanPlayBackwards = 0x40;
constexpr DWORD AM_SEEKING_CanDoSegments = 0x80;
constexpr DWORD AM_SEEKING_Source = 0x100;

// IMediaSeeking::SetPositions flags
constexpr DWORD AM_SEEKING_NoPositioning = 0x0;
constexpr DWORD AM_SEEKING_AbsolutePositioning = 0x1;
constexpr DWORD AM_SEEKING_RelativePositioning = 0x2;
constexpr DWORD AM_SEEKING_IncrementalPositioning = 0x3;
constexpr DWORD AM_SEEKING_PositioningBitsMask = 0x3;
constexpr DWORD AM_SEEKING_SeekToKeyFrame = 0x4;
constexpr DWORD AM_SEEKING_ReturnTime = 0x8;
constexpr DWORD AM_SEEKING_Segment = 0x10;
constexpr DWORD AM_SEEKING_NoFlush = 0x20;

// IAMStreamSelect
constexpr DWORD AMSTREAMSELECTINFO_ENABLED = 0x1;
constexpr DWORD AMSTREAMSELECTINFO_EXCLUSIVE = 0x2;
constexpr DWORD AMSTREAMSELECTENABLE_ENABLE = 0x1;
constexpr DWORD AMSTREAMSELECTENABLE_ENABLEALL = 0x2;

// IAMFilterMiscFlags
constexpr ULONG AM_FILTER_MISC_FLAGS_IS_RENDERER = 0x1;
constexpr ULONG AM_FILTER_MISC_FLAGS_IS_SOURCE = 0x2;

// Event codes (IMediaEventSink::Notify, IMediaEvent::GetEvent)
constexpr long EC_COMPLETE = 0x01;            // (HRESULT, IBaseFilter* of the sender or 0)
constexpr long EC_USERABORT = 0x02;
constexpr long EC_ERRORABORT = 0x03;          // (HRESULT, 0)
constexpr long EC_TIME = 0x04;
constexpr long EC_REPAINT = 0x05;
constexpr long EC_STREAM_ERROR_STOPPED = 0x06;
constexpr long EC_STREAM_ERROR_STILLPLAYING = 0x07;
constexpr long EC_ERROR_STILLPLAYING = 0x08;
constexpr long EC_PALETTE_CHANGED = 0x09;
constexpr long EC_VIDEO_SIZE_CHANGED = 0x0A;
constexpr long EC_QUALITY_CHANGE = 0x0B;
constexpr long EC_SHUTTING_DOWN = 0x0C;
constexpr long EC_CLOCK_CHANGED = 0x0D;
constexpr long EC_PAUSED = 0x0E;              // a Pause transition completed (HRESULT, 0)
constexpr long EC_OPENING_FILE = 0x10;
constexpr long EC_BUFFERING_DATA = 0x11;
constexpr long EC_FULLSCREEN_LOST = 0x12;
constexpr long EC_ACTIVATE = 0x13;
constexpr long EC_NEED_RESTART = 0x14;
constexpr long EC_WINDOW_DESTROYED = 0x15;
constexpr long EC_DISPLAY_CHANGED = 0x16;
constexpr long EC_STARVATION = 0x17;
constexpr long EC_STREAM_CONTROL_STOPPED = 0x1A;
constexpr long EC_STREAM_CONTROL_STARTED = 0x1B;
constexpr long EC_END_OF_SEGMENT = 0x1C;
constexpr long EC_SEGMENT_STARTED = 0x1D;
constexpr long EC_LENGTH_CHANGED = 0x1E;
constexpr long EC_ERRORABORTEX = 0x45;
constexpr long EC_USER = 0x8000;

// Notify flags of IMediaEventEx
constexpr long AM_MEDIAEVENT_NONOTIFY = 0x01;

// Merits of registered filters
constexpr DWORD MERIT_PREFERRED = 0x800000;
constexpr DWORD MERIT_NORMAL = 0x600000;
constexpr DWORD MERIT_UNLIKELY = 0x400000;
constexpr DWORD MERIT_DO_NOT_USE = 0x200000;
constexpr DWORD MERIT_SW_COMPRESSOR = 0x100000;
constexpr DWORD MERIT_HW_COMPRESSOR = 0x100050;

// Thread priorities accepted by CAMThread::SetPriority and COutputQueue.
constexpr int THREAD_PRIORITY_IDLE = -15;
constexpr int THREAD_PRIORITY_LOWEST = -2;
constexpr int THREAD_PRIORITY_BELOW_NORMAL = -1;
constexpr int THREAD_PRIORITY_NORMAL = 0;
constexpr int THREAD_PRIORITY_ABOVE_NORMAL = 1;
constexpr int THREAD_PRIORITY_HIGHEST = 2;
constexpr int THREAD_PRIORITY_TIME_CRITICAL = 15;

// ---------------------------------------------------------------- persistence

struct IPersist : IUnknown {
    virtual HRESULT GetClassID(CLSID* pClassID) = 0;
};
DISCREEL_DECLARE_IID(IPersist, "{0000010C-0000-0000-C000-000000000046}");

// ---------------------------------------------------------------- samples, allocators

struct IMediaSample : IUnknown {
    virtual HRESULT GetPointer(BYTE** ppBuffer) = 0;
    virtual long GetSize() = 0;
    // S_OK with both times; VFW_S_NO_STOP_TIME with a start only (stop = start + 1);
    // VFW_E_SAMPLE_TIME_NOT_SET without times.
    virtual HRESULT GetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) = 0;
    // Null start clears both times; null end sets a start only.
    virtual HRESULT SetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) = 0;
    virtual HRESULT IsSyncPoint() = 0;  // S_OK or S_FALSE
    virtual HRESULT SetSyncPoint(BOOL bIsSyncPoint) = 0;
    virtual HRESULT IsPreroll() = 0;
    virtual HRESULT SetPreroll(BOOL bIsPreroll) = 0;
    virtual long GetActualDataLength() = 0;
    // VFW_E_BUFFER_OVERFLOW past the buffer size.
    virtual HRESULT SetActualDataLength(long lLen) = 0;
    // S_OK with a new copy the caller frees with DeleteMediaType; S_FALSE and
    // null when the type did not change with this sample.
    virtual HRESULT GetMediaType(AM_MEDIA_TYPE** ppMediaType) = 0;
    // Attaches a copy (null clears).
    virtual HRESULT SetMediaType(AM_MEDIA_TYPE* pMediaType) = 0;
    virtual HRESULT IsDiscontinuity() = 0;
    virtual HRESULT SetDiscontinuity(BOOL bDiscontinuity) = 0;
    // VFW_E_MEDIA_TIME_NOT_SET without media times.
    virtual HRESULT GetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) = 0;
    virtual HRESULT SetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) = 0;
};
DISCREEL_DECLARE_IID(IMediaSample, "{56A8689A-0AD4-11CE-B03A-0020AF0BA770}");

struct IMemAllocator : IUnknown {
    // Asks for buffers; pActual reports what the allocator will really give.
    // VFW_E_ALREADY_COMMITTED while committed, VFW_E_BUFFERS_OUTSTANDING while
    // samples are out, VFW_E_BADALIGN for an alignment that is not a power of 2.
    virtual HRESULT SetProperties(ALLOCATOR_PROPERTIES* pRequest, ALLOCATOR_PROPERTIES* pActual) = 0;
    virtual HRESULT GetProperties(ALLOCATOR_PROPERTIES* pProps) = 0;
    virtual HRESULT Commit() = 0;
    // Blocked GetBuffer calls return VFW_E_NOT_COMMITTED; memory is freed once
    // every sample has come back.
    virtual HRESULT Decommit() = 0;
    // Waits for a free sample (unless AM_GBF_NOWAIT: VFW_E_TIMEOUT).
    virtual HRESULT GetBuffer(IMediaSample** ppBuffer, REFERENCE_TIME* pStartTime,
                              REFERENCE_TIME* pEndTime, DWORD dwFlags) = 0;
    // Called by a sample whose last reference went away.
    virtual HRESULT ReleaseBuffer(IMediaSample* pBuffer) = 0;
};
DISCREEL_DECLARE_IID(IMemAllocator, "{56A8689C-0AD4-11CE-B03A-0020AF0BA770}");

// ---------------------------------------------------------------- clock

using HEVENT = class CAMEvent*;      // set when an advise falls due
using HSEMAPHORE = class CAMEvent*;  // set at each period of a periodic advise

struct IReferenceClock : IUnknown {
    virtual HRESULT GetTime(REFERENCE_TIME* pTime) = 0;
    virtual HRESULT AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, HEVENT hEvent,
                               DWORD_PTR* pdwAdviseCookie) = 0;
    virtual HRESULT AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME periodTime,
                                   HSEMAPHORE hSemaphore, DWORD_PTR* pdwAdviseCookie) = 0;
    virtual HRESULT Unadvise(DWORD_PTR dwAdviseCookie) = 0;
};
DISCREEL_DECLARE_IID(IReferenceClock, "{56A86897-0AD4-11CE-B03A-0020AF0BA770}");

// ---------------------------------------------------------------- filters and pins

struct IMediaFilter : IPersist {
    virtual HRESULT Stop() = 0;
    virtual HRESULT Pause() = 0;
    virtual HRESULT Run(REFERENCE_TIME tStart) = 0;
    // VFW_S_STATE_INTERMEDIATE while a transition has not completed within
    // dwMilliSecsTimeout; VFW_S_CANT_CUE for a live source that is paused.
    virtual HRESULT GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) = 0;
    virtual HRESULT SetSyncSource(IReferenceClock* pClock) = 0;
    virtual HRESULT GetSyncSource(IReferenceClock** pClock) = 0;
};
DISCREEL_DECLARE_IID(IMediaFilter, "{56A86899-0AD4-11CE-B03A-0020AF0BA770}");

struct IBaseFilter : IMediaFilter {
    virtual HRESULT EnumPins(IEnumPins** ppEnum) = 0;
    virtual HRESULT FindPin(const char* Id, IPin** ppPin) = 0;
    virtual HRESULT QueryFilterInfo(FILTER_INFO* pInfo) = 0;
    // The graph is not referenced by the filter (it owns the filter).
    virtual HRESULT JoinFilterGraph(IFilterGraph* pGraph, const char* pName) = 0;
    virtual HRESULT QueryVendorInfo(std::string* pVendorInfo) = 0;
};
DISCREEL_DECLARE_IID(IBaseFilter, "{56A86895-0AD4-11CE-B03A-0020AF0BA770}");

struct IPin : IUnknown {
    // Output pins: connect to pReceivePin, with pmt as a full or partial type
    // (null: any).
    virtual HRESULT Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) = 0;
    // Input pins: accept a connection from pConnector with the given type.
    virtual HRESULT ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) = 0;
    // Breaks this side of the connection only; S_FALSE when not connected.
    virtual HRESULT Disconnect() = 0;
    virtual HRESULT ConnectedTo(IPin** pPin) = 0;  // VFW_E_NOT_CONNECTED when not
    virtual HRESULT ConnectionMediaType(AM_MEDIA_TYPE* pmt) = 0;
    virtual HRESULT QueryPinInfo(PIN_INFO* pInfo) = 0;
    virtual HRESULT QueryDirection(PIN_DIRECTION* pPinDir) = 0;
    virtual HRESULT QueryId(std::string* Id) = 0;
    virtual HRESULT QueryAccept(const AM_MEDIA_TYPE* pmt) = 0;  // S_OK accepts, else refuses
    virtual HRESULT EnumMediaTypes(IEnumMediaTypes** ppEnum) = 0;
    virtual HRESULT QueryInternalConnections(IPin** apPin, ULONG* nPin) = 0;
    virtual HRESULT EndOfStream() = 0;
    virtual HRESULT BeginFlush() = 0;
    virtual HRESULT EndFlush() = 0;
    virtual HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) = 0;
};
DISCREEL_DECLARE_IID(IPin, "{56A86891-0AD4-11CE-B03A-0020AF0BA770}");

struct IMemInputPin : IUnknown {
    virtual HRESULT GetAllocator(IMemAllocator** ppAllocator) = 0;
    virtual HRESULT NotifyAllocator(IMemAllocator* pAllocator, BOOL bReadOnly) = 0;
    virtual HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES* pProps) = 0;
    virtual HRESULT Receive(IMediaSample* pSample) = 0;
    virtual HRESULT ReceiveMultiple(IMediaSample** pSamples, long nSamples, long* nSamplesProcessed) = 0;
    virtual HRESULT ReceiveCanBlock() = 0;  // S_OK when Receive may block
};
DISCREEL_DECLARE_IID(IMemInputPin, "{56A8689D-0AD4-11CE-B03A-0020AF0BA770}");

struct IEnumPins : IUnknown {
    // Hands out up to cPins pins with references; S_FALSE when fewer.
    // VFW_E_ENUM_OUT_OF_SYNC when the filter's pins changed: Reset and retry.
    virtual HRESULT Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched) = 0;
    virtual HRESULT Skip(ULONG cPins) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumPins** ppEnum) = 0;
};
DISCREEL_DECLARE_IID(IEnumPins, "{56A86892-0AD4-11CE-B03A-0020AF0BA770}");

struct IEnumMediaTypes : IUnknown {
    // Hands out new types that the caller frees with DeleteMediaType.
    virtual HRESULT Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes, ULONG* pcFetched) = 0;
    virtual HRESULT Skip(ULONG cMediaTypes) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumMediaTypes** ppEnum) = 0;
};
DISCREEL_DECLARE_IID(IEnumMediaTypes, "{89C31040-846B-11CE-97D3-00AA0055595A}");

struct IEnumFilters : IUnknown {
    virtual HRESULT Next(ULONG cFilters, IBaseFilter** ppFilter, ULONG* pcFetched) = 0;
    virtual HRESULT Skip(ULONG cFilters) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumFilters** ppEnum) = 0;
};
DISCREEL_DECLARE_IID(IEnumFilters, "{56A86893-0AD4-11CE-B03A-0020AF0BA770}");

struct IAMFilterMiscFlags : IUnknown {
    virtual ULONG GetMiscFlags() = 0;
};
DISCREEL_DECLARE_IID(IAMFilterMiscFlags, "{2DD74950-A890-11D1-ABE8-00A0C905F375}");

// ---------------------------------------------------------------- quality

enum QualityMessageType { Famine = 0, Flood = 1 };
struct Quality {
    QualityMessageType Type = Famine;
    long Proportion = 1000;
    REFERENCE_TIME Late = 0;
    REFERENCE_TIME TimeStamp = 0;
};

struct IQualityControl : IUnknown {
    virtual HRESULT Notify(IBaseFilter* pSelf, Quality q) = 0;
    virtual HRESULT SetSink(IQualityControl* piqc) = 0;
};
DISCREEL_DECLARE_IID(IQualityControl, "{56A868A5-0AD4-11CE-B03A-0020AF0BA770}");

// ---------------------------------------------------------------- seeking

// The methods of the two positioning interfaces are listed once: as the
// interfaces' pure virtual functions here, and as the override declarations
// of every class that implements them (DECLARE_IMEDIASEEKING,
// DECLARE_IMEDIAPOSITION in the class body).
#define DISCREEL_IMEDIASEEKING_METHODS(VIRTUAL, SUFFIX)                                              \
    VIRTUAL HRESULT GetCapabilities(DWORD* pCapabilities) SUFFIX;                                    \
    VIRTUAL HRESULT CheckCapabilities(DWORD* pCapabilities) SUFFIX;                                  \
    VIRTUAL HRESULT IsFormatSupported(const GUID* pFormat) SUFFIX;                                   \
    VIRTUAL HRESULT QueryPreferredFormat(GUID* pFormat) SUFFIX;                                      \
    VIRTUAL HRESULT GetTimeFormat(GUID* pFormat) SUFFIX;                                             \
    VIRTUAL HRESULT IsUsingTimeFormat(const GUID* pFormat) SUFFIX;                                   \
    VIRTUAL HRESULT SetTimeFormat(const GUID* pFormat) SUFFIX;                                       \
    VIRTUAL HRESULT GetDuration(LONGLONG* pDuration) SUFFIX;                                         \
    VIRTUAL HRESULT GetStopPosition(LONGLONG* pStop) SUFFIX;                                         \
    VIRTUAL HRESULT GetCurrentPosition(LONGLONG* pCurrent) SUFFIX;                                   \
    VIRTUAL HRESULT ConvertTimeFormat(LONGLONG* pTarget, const GUID* pTargetFormat, LONGLONG Source, \
                                      const GUID* pSourceFormat) SUFFIX;                             \
    VIRTUAL HRESULT SetPositions(LONGLONG* pCurrent, DWORD dwCurrentFlags, LONGLONG* pStop,          \
                                 DWORD dwStopFlags) SUFFIX;                                          \
    VIRTUAL HRESULT GetPositions(LONGLONG* pCurrent, LONGLONG* pStop) SUFFIX;                        \
    VIRTUAL HRESULT GetAvailable(LONGLONG* pEarliest, LONGLONG* pLatest) SUFFIX;                     \
    VIRTUAL HRESULT SetRate(double dRate) SUFFIX;                                                    \
    VIRTUAL HRESULT GetRate(double* pdRate) SUFFIX;                                                  \
    VIRTUAL HRESULT GetPreroll(LONGLONG* pllPreroll) SUFFIX
#define DECLARE_IMEDIASEEKING DISCREEL_IMEDIASEEKING_METHODS(, override);

struct IMediaSeeking : IUnknown {
    DISCREEL_IMEDIASEEKING_METHODS(virtual, = 0);
};
DISCREEL_DECLARE_IID(IMediaSeeking, "{36B73880-C2C8-11CF-8B46-00805F6CEF60}");

// Seconds-based positioning (no dispatch part).
#define DISCREEL_IMEDIAPOSITION_METHODS(VIRTUAL, SUFFIX)           \
    VIRTUAL HRESULT get_Duration(REFTIME* plength) SUFFIX;         \
    VIRTUAL HRESULT put_CurrentPosition(REFTIME llTime) SUFFIX;    \
    VIRTUAL HRESULT get_CurrentPosition(REFTIME* pllTime) SUFFIX;  \
    VIRTUAL HRESULT get_StopTime(REFTIME* pllTime) SUFFIX;         \
    VIRTUAL HRESULT put_StopTime(REFTIME llTime) SUFFIX;           \
    VIRTUAL HRESULT get_PrerollTime(REFTIME* pllTime) SUFFIX;      \
    VIRTUAL HRESULT put_PrerollTime(REFTIME llTime) SUFFIX;        \
    VIRTUAL HRESULT put_Rate(double dRate) SUFFIX;                 \
    VIRTUAL HRESULT get_Rate(double* pdRate) SUFFIX;               \
    VIRTUAL HRESULT CanSeekForward(LONG* pCanSeekForward) SUFFIX;  \
    VIRTUAL HRESULT CanSeekBackward(LONG* pCanSeekBackward) SUFFIX
#define DECLARE_IMEDIAPOSITION DISCREEL_IMEDIAPOSITION_METHODS(, override);

struct IMediaPosition : IUnknown {
    DISCREEL_IMEDIAPOSITION_METHODS(virtual, = 0);
};
DISCREEL_DECLARE_IID(IMediaPosition, "{56A868B2-0AD4-11CE-B03A-0020AF0BA770}");

// ---------------------------------------------------------------- sources, splitters

// Pull-mode reading. Sample times are byte positions × UNITS.
struct IAsyncReader : IUnknown {
    virtual HRESULT RequestAllocator(IMemAllocator* pPreferred, ALLOCATOR_PROPERTIES* pProps,
                                     IMemAllocator** ppActual) = 0;
    // Queues a read filling the sample from its start to its stop time.
    virtual HRESULT Request(IMediaSample* pSample, DWORD_PTR dwUser) = 0;
    // Next completed request (its sample keeps the reference given to Request).
    // VFW_E_TIMEOUT when none completed in time; VFW_E_WRONG_STATE while
    // flushing with no requests left.
    virtual HRESULT WaitForNext(DWORD dwTimeout, IMediaSample** ppSample, DWORD_PTR* pdwUser) = 0;
    virtual HRESULT SyncReadAligned(IMediaSample* pSample) = 0;
    // S_FALSE when fewer than lLength bytes could be read.
    virtual HRESULT SyncRead(LONGLONG llPosition, LONG lLength, BYTE* pBuffer) = 0;
    // S_OK, or VFW_S_ESTIMATED when the available length may still grow.
    virtual HRESULT Length(LONGLONG* pTotal, LONGLONG* pAvailable) = 0;
    virtual HRESULT BeginFlush() = 0;
    virtual HRESULT EndFlush() = 0;
};
DISCREEL_DECLARE_IID(IAsyncReader, "{56A868AA-0AD4-11CE-B03A-0020AF0BA770}");
constexpr HRESULT VFW_S_ESTIMATED = MakeHr(0x00040260);

struct IFileSourceFilter : IUnknown {
    virtual HRESULT Load(const char* pszFileName, const AM_MEDIA_TYPE* pmt) = 0;
    // E_POINTER without a name pointer; pmt (optional) gets the type.
    virtual HRESULT GetCurFile(std::string* ppszFileName, AM_MEDIA_TYPE* pmt) = 0;
};
DISCREEL_DECLARE_IID(IFileSourceFilter, "{56A868A6-0AD4-11CE-B03A-0020AF0BA770}");

struct IAMStreamSelect : IUnknown {
    virtual HRESULT Count(DWORD* pcStreams) = 0;
    // Any output pointer may be null. *ppmt: a new type for DeleteMediaType.
    virtual HRESULT Info(long lIndex, AM_MEDIA_TYPE** ppmt, DWORD* pdwFlags, LCID* plcid,
                         DWORD* pdwGroup, std::string* ppszName, IUnknown** ppObject,
                         IUnknown** ppUnk) = 0;
    virtual HRESULT Enable(long lIndex, DWORD dwFlags) = 0;
};
DISCREEL_DECLARE_IID(IAMStreamSelect, "{C1960960-17F5-11D1-ABE1-00A0C905F375}");

struct IKeyFrameInfo : IUnknown {
    virtual HRESULT GetKeyFrameCount(UINT& nKFs) = 0;
    virtual HRESULT GetKeyFrames(const GUID* pFormat, REFERENCE_TIME* pKFs, UINT& nKFs) = 0;
};
DISCREEL_DECLARE_IID(IKeyFrameInfo, "{01A5BBD3-FE71-487C-A2EC-2585B66B8E4A}");

// Fill levels of a splitter's output queues.
struct IBufferInfo : IUnknown {
    virtual int GetCount() = 0;  // number of output pins
    // Queued packets and bytes of pin i: S_OK when connected, S_FALSE when not,
    // E_INVALIDARG for a bad index.
    virtual HRESULT GetStatus(int i, int& samples, int& size) = 0;
    virtual DWORD GetPriority() = 0;  // worker thread priority
};
DISCREEL_DECLARE_IID(IBufferInfo, "{46070104-1318-4A82-8822-E99AB7CD15C1}");

// ---------------------------------------------------------------- graph

struct IFilterGraph : IUnknown {
    // Names are made unique (" 0001" appended) with VFW_S_DUPLICATE_NAME; null
    // name: a name is made up.
    virtual HRESULT AddFilter(IBaseFilter* pFilter, const char* pName) = 0;
    // Disconnects the filter's pins, then lets it go.
    virtual HRESULT RemoveFilter(IBaseFilter* pFilter) = 0;
    virtual HRESULT EnumFilters(IEnumFilters** ppEnum) = 0;
    virtual HRESULT FindFilterByName(const char* pName, IBaseFilter** ppFilter) = 0;
    virtual HRESULT ConnectDirect(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt) = 0;
    virtual HRESULT Reconnect(IPin* ppin) = 0;
    virtual HRESULT Disconnect(IPin* ppin) = 0;
    virtual HRESULT SetDefaultSyncSource() = 0;
};
DISCREEL_DECLARE_IID(IFilterGraph, "{56A8689F-0AD4-11CE-B03A-0020AF0BA770}");

struct IGraphBuilder : IFilterGraph {
    // Direct first, then registered filters placed in between.
    virtual HRESULT Connect(IPin* ppinOut, IPin* ppinIn) = 0;
    // Registered filters from this pin on until a renderer.
    virtual HRESULT Render(IPin* ppinOut) = 0;
    virtual HRESULT RenderFile(const char* lpcwstrFile, const char* lpcwstrPlayList) = 0;
    virtual HRESULT AddSourceFilter(const char* lpcwstrFileName, const char* lpcwstrFilterName,
                                    IBaseFilter** ppFilter) = 0;
    virtual HRESULT SetLogFile(DWORD_PTR hFile) = 0;
    virtual HRESULT Abort() = 0;
    virtual HRESULT ShouldOperationContinue() = 0;
};
DISCREEL_DECLARE_IID(IGraphBuilder, "{56A868A9-0AD4-11CE-B03A-0020AF0BA770}");

struct IMediaControl : IUnknown {
    virtual HRESULT Run() = 0;
    virtual HRESULT Pause() = 0;
    virtual HRESULT Stop() = 0;
    // *pfs: 0 stopped, 1 paused, 2 running. VFW_S_STATE_INTERMEDIATE while the
    // filters have not all completed the transition within msTimeout.
    virtual HRESULT GetState(LONG msTimeout, OAFilterState* pfs) = 0;
    virtual HRESULT RenderFile(const char* strFilename) = 0;
    virtual HRESULT StopWhenReady() = 0;
};
DISCREEL_DECLARE_IID(IMediaControl, "{56A868B1-0AD4-11CE-B03A-0020AF0BA770}");

// Filters report events to the graph through this.
struct IMediaEventSink : IUnknown {
    virtual HRESULT Notify(long EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2) = 0;
};
DISCREEL_DECLARE_IID(IMediaEventSink, "{56A868A2-0AD4-11CE-B03A-0020AF0BA770}");

struct IMediaEvent : IUnknown {
    virtual HRESULT GetEventHandle(OAEVENT* hEvent) = 0;  // E_NOTIMPL: use SetNotifyWindow
    // E_ABORT when no event came within msTimeout.
    virtual HRESULT GetEvent(long* lEventCode, LONG_PTR* lParam1, LONG_PTR* lParam2, long msTimeout) = 0;
    // Waits for EC_COMPLETE, EC_ERRORABORT or EC_USERABORT (E_ABORT on time-out).
    virtual HRESULT WaitForCompletion(long msTimeout, long* pEvCode) = 0;
    virtual HRESULT CancelDefaultHandling(long lEvCode) = 0;
    virtual HRESULT RestoreDefaultHandling(long lEvCode) = 0;
    virtual HRESULT FreeEventParams(long lEvCode, LONG_PTR lParam1, LONG_PTR lParam2) = 0;
};
DISCREEL_DECLARE_IID(IMediaEvent, "{56A868B6-0AD4-11CE-B03A-0020AF0BA770}");

struct IMediaEventEx : IMediaEvent {
    // Posts lMsg (wParam 0, lParam lInstanceData) to the window whenever an
    // event is queued; a null window stops the posting.
    virtual HRESULT SetNotifyWindow(HWND hwnd, long lMsg, LONG_PTR lInstanceData) = 0;
    virtual HRESULT SetNotifyFlags(long lNoNotifyFlags) = 0;
    virtual HRESULT GetNotifyFlags(long* lplNoNotifyFlags) = 0;
};
DISCREEL_DECLARE_IID(IMediaEventEx, "{56A868C0-0AD4-11CE-B03A-0020AF0BA770}");
