#pragma once
// The splitter's byte source over the upstream pin's IAsyncReader.
#include "demux/splitter_source.h"
#include "platform/com/comptr.h"
#include "platform/framework/interfaces.h"

class CAsyncReaderSource : public ISplitterSource {
public:
    explicit CAsyncReaderSource(IAsyncReader* reader) : m_reader(reader) {}
    HRESULT Length(LONGLONG* total, LONGLONG* available) override {
        return m_reader->Length(total, available);
    }
    HRESULT SyncRead(LONGLONG pos, LONG len, BYTE* buffer) override {
        return m_reader->SyncRead(pos, len, buffer);
    }

private:
    ComPtr<IAsyncReader> m_reader;
};
