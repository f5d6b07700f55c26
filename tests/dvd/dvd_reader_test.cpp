// CDVDReader as a filter: its identity and interfaces, attaching the
// catalogue's DVD or opening one itself, the type it offers, and a whole title
// pulled through its pin's IAsyncReader.
#include "dvd/dvd_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fixtures.h"

namespace {

namespace fs = std::filesystem;
using fixtures::Disc;

std::vector<BYTE> FileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

struct Reader {
    CDVDReader* object = nullptr;  // alive while `filter` holds it
    ComPtr<IBaseFilter> filter;
};

Reader MakeReader() {
    Reader r;
    HRESULT hr = E_FAIL;
    CUnknown* unk = CDVDReader::CreateInstance(nullptr, &hr);
    EXPECT_EQ(hr, S_OK);
    EXPECT_NE(unk, nullptr);
    if (!unk) return r;
    r.object = static_cast<CDVDReader*>(unk);
    EXPECT_EQ(unk->NonDelegatingQueryInterface(IID_IBaseFilter, r.filter.ReleaseAndGetVoidAddress()), S_OK);
    return r;
}

ComPtr<IAsyncReader> OutputReader(const Reader& r) {
    ComPtr<IPin> pin;
    EXPECT_EQ(r.filter->FindPin("Output", pin.ReleaseAndGetAddressOf()), S_OK);
    return pin ? pin.As<IAsyncReader>() : ComPtr<IAsyncReader>();
}

TEST(DvdReader, IdentityInterfacesAndTheOfferedType) {
    Reader r = MakeReader();
    ASSERT_TRUE(r.filter);
    CLSID clsid{};
    ASSERT_EQ(r.filter->GetClassID(&clsid), S_OK);
    EXPECT_EQ(clsid, MakeGuid("{783EAEDE-D5EE-4FCE-1C8F-A4F53D0A2F73}"));
    EXPECT_TRUE(r.filter.As<IMyDVDReader>());
    EXPECT_TRUE(r.filter.As<IFileSourceFilter>());
    EXPECT_EQ(IID_IMyDVDReader, MakeGuid("{1ADB4EE7-45A0-4459-A508-AD77B32C01B2}"));

    ASSERT_EQ(r.object->GetPinCount(), 1);
    PIN_INFO info;
    ASSERT_EQ(r.object->GetPin(0)->QueryPinInfo(&info), S_OK);
    if (info.pFilter) info.pFilter->Release();
    EXPECT_EQ(info.achName, "Output");
    EXPECT_EQ(info.dir, PINDIR_OUTPUT);

    // No type before a DVD is attached; a stream of any subtype after.
    EXPECT_FALSE(r.object->LoadType()->IsValid());
    DvdHandle dvd = MyDVDOpen(fixtures::NtscFolder().c_str());
    ASSERT_NE(dvd, 0u);
    auto control = r.filter.As<IMyDVDReader>();
    EXPECT_EQ(control->SetDvdReader(0), E_INVALIDARG);
    ASSERT_EQ(control->SetDvdReader(dvd), S_OK);
    CMediaType mt;
    ASSERT_EQ(r.object->GetPin(0)->GetMediaType(0, &mt), S_OK);
    EXPECT_EQ(mt.majortype, MEDIATYPE_Stream);
    EXPECT_EQ(mt.subtype, GUID_NULL);

    auto source = r.filter.As<IFileSourceFilter>();
    std::string name;
    EXPECT_EQ(source->GetCurFile(nullptr, nullptr), E_POINTER);
    ASSERT_EQ(source->GetCurFile(&name, nullptr), S_OK);
    EXPECT_EQ(name, "DVD");

    // The catalogue's handle outlives the filter.
    const long live = CUnknown::LiveObjects();
    control = nullptr;
    source = nullptr;
    r = Reader{};
    EXPECT_LT(CUnknown::LiveObjects(), live);
    EXPECT_EQ(MyDVDGetBadSectorCount(dvd), 0);
    MyDVDClose(dvd);
}

TEST(DvdReader, PinDeliversTheSelectedTitle) {
    DvdHandle dvd = MyDVDOpen(fixtures::PalIso().c_str());
    ASSERT_NE(dvd, 0u);
    {
        Reader r = MakeReader();
        auto control = r.filter.As<IMyDVDReader>();
        ASSERT_EQ(control->SetDvdReader(dvd), S_OK);
        auto reader = OutputReader(r);
        ASSERT_TRUE(reader);
        for (int number : {3, 1}) {
            ASSERT_EQ(control->SetTitleArea(number - 1, -1), S_OK);
            LONGLONG ms = 0;
            ASSERT_EQ(control->GetTitleDuration(&ms), S_OK);
            EXPECT_EQ(ms, number == 1 ? 6000 : 4000);
            EXPECT_EQ(control->GetTitleDuration(nullptr), E_POINTER);

            std::vector<BYTE> vob = FileBytes(fixtures::TitleVob(Disc::Pal, number));
            LONGLONG total = 0, available = 0;
            ASSERT_EQ(reader->Length(&total, &available), S_OK);
            EXPECT_EQ(total, LONGLONG(vob.size()));
            EXPECT_EQ(available, LONGLONG(vob.size()));
            std::vector<BYTE> got(vob.size());
            const LONG piece = 7 * 1024 + 13;
            for (LONGLONG pos = 0; pos < total; pos += piece) {
                LONG n = LONG(std::min<LONGLONG>(piece, total - pos));
                ASSERT_EQ(reader->SyncRead(pos, n, got.data() + pos), S_OK) << pos;
            }
            EXPECT_TRUE(got == vob) << "title " << number;
            // Across the end: a short read.
            BYTE tail[4096];
            EXPECT_EQ(reader->SyncRead(total - 100, sizeof tail, tail), S_FALSE);
        }
    }
    EXPECT_EQ(MyDVDGetBadSectorCount(dvd), 0);  // still open
    MyDVDClose(dvd);
}

TEST(DvdReader, LoadOpensItsOwnDvdAndClosesIt) {
    Reader r = MakeReader();
    auto source = r.filter.As<IFileSourceFilter>();
    std::string name;

    EXPECT_EQ(source->Load("/nonexistent/disc", nullptr), E_FAIL);
    EXPECT_EQ(source->Load(nullptr, nullptr), E_POINTER);
    ASSERT_EQ(source->GetCurFile(&name, nullptr), S_OK);
    EXPECT_EQ(name, "");

    std::string first = fixtures::NtscIso();
    ASSERT_EQ(source->Load(first.c_str(), nullptr), S_OK);
    DvdHandle own = r.object->Stream().Handle();
    EXPECT_NE(own, 0u);
    ASSERT_EQ(source->GetCurFile(&name, nullptr), S_OK);
    EXPECT_EQ(name, first);
    ASSERT_EQ(r.filter.As<IMyDVDReader>()->SetTitleArea(2, -1), S_OK);
    EXPECT_EQ(r.object->Stream().Size(), LONGLONG(fs::file_size(fixtures::TitleVob(Disc::Ntsc, 3))));

    // A second Load lets go of the first DVD.
    ASSERT_EQ(source->Load(std::string(fixtures::PalFolder()).c_str(), nullptr), S_OK);
    DvdHandle second = r.object->Stream().Handle();
    EXPECT_EQ(MyDVDGetBadSectorCount(own), -1);
    LONGLONG ms = 0;
    r.filter.As<IMyDVDReader>()->GetTitleDuration(&ms);
    EXPECT_EQ(ms, 6000);

    source = nullptr;
    r = Reader{};
    EXPECT_EQ(MyDVDGetBadSectorCount(second), -1);
}

}  // namespace
