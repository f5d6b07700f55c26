#include <gtest/gtest.h>

#include "platform/com/com.h"

namespace {

TEST(Guid, ParsesPrintsAndRejects) {
    constexpr GUID g = MakeGuid("{39F498AF-1A09-4275-B193-673B0BA3D478}");
    static_assert(g.Data1 == 0x39F498AF && g.Data2 == 0x1A09 && g.Data3 == 0x4275);
    EXPECT_EQ(g.Data4[0], 0xB1);
    EXPECT_EQ(g.Data4[7], 0x78);
    EXPECT_EQ(GuidToString(g), "{39F498AF-1A09-4275-B193-673B0BA3D478}");

    struct Case {
        const char* text;
        bool ok;
    } cases[] = {
        {"{e436eb83-524f-11ce-9f53-0020af0ba770}", true},
        {"E436EB83-524F-11CE-9F53-0020AF0BA770", true},
        {"{E436EB83-524F-11CE-9F53-0020AF0BA77}", false},
        {"{E436EB83-524F-11CE-9F53-0020AF0BA770", false},
        {"{E436EB83+524F-11CE-9F53-0020AF0BA770}", false},
        {"{G436EB83-524F-11CE-9F53-0020AF0BA770}", false},
        {"", false},
    };
    for (const auto& c : cases) {
        bool ok = !c.ok;
        GUID parsed = GuidFromString(c.text, &ok);
        EXPECT_EQ(ok, c.ok) << c.text;
        if (!c.ok) {
            EXPECT_EQ(parsed, GUID_NULL) << c.text;
        }
    }
    EXPECT_TRUE(GUID_NULL < g);
    EXPECT_FALSE(g < g);
}

TEST(HResult, RealValues) {
    EXPECT_EQ(uint32_t(E_FAIL), 0x80004005u);
    EXPECT_EQ(uint32_t(E_OUTOFMEMORY), 0x8007000Eu);
    EXPECT_EQ(uint32_t(VFW_E_TYPE_NOT_ACCEPTED), 0x8004022Au);
    EXPECT_TRUE(SUCCEEDED(S_FALSE));
    EXPECT_TRUE(FAILED(E_UNEXPECTED));
}

struct IFoo : IUnknown {
    virtual int Foo() = 0;
};
DISCREEL_DECLARE_IID(IFoo, "{11111111-2222-3333-4444-555555555555}");
struct IBar : IUnknown {
    virtual int Bar() = 0;
};
DISCREEL_DECLARE_IID(IBar, "{11111111-2222-3333-4444-666666666666}");

class FooBar : public CUnknown, public IFoo, public IBar {
public:
    explicit FooBar(bool* destroyed, IUnknown* outer = nullptr)
        : CUnknown("FooBar", outer), destroyed_(destroyed) {}
    ~FooBar() override { *destroyed_ = true; }
    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IFoo) return GetInterfaceAs<IFoo>(this, ppv);
        if (riid == IID_IBar) return GetInterfaceAs<IBar>(this, ppv);
        return CUnknown::NonDelegatingQueryInterface(riid, ppv);
    }
    int Foo() override { return 1; }
    int Bar() override { return 2; }

private:
    bool* destroyed_;
};

TEST(ComObject, QueryInterfaceCountsAndFrees) {
    bool destroyed = false;
    {
        ComPtr<IFoo> foo(new FooBar(&destroyed));
        EXPECT_EQ(foo->Foo(), 1);
        ComPtr<IBar> bar;
        ASSERT_EQ(foo.As(&bar), S_OK);
        EXPECT_EQ(bar->Bar(), 2);
        ComPtr<IUnknown> id1, id2;
        ASSERT_EQ(foo.As(&id1), S_OK);
        ASSERT_EQ(bar.As(&id2), S_OK);
        EXPECT_EQ(id1.Get(), id2.Get()) << "one identity whatever interface asked";
        ComPtr<IFoo> none;
        struct INone : IUnknown {};
        void* p = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(foo->QueryInterface(MakeGuid("{00000000-0000-0000-0000-000000000001}"), &p),
                  E_NOINTERFACE);
        EXPECT_EQ(p, nullptr);
        EXPECT_EQ(foo->QueryInterface(IID_IFoo, nullptr), E_POINTER);
        ComPtr<IFoo> copy = foo;
        ComPtr<IFoo> moved = std::move(copy);
        EXPECT_FALSE(copy);
        EXPECT_FALSE(destroyed);
    }
    EXPECT_TRUE(destroyed);
}

TEST(ComObject, AggregatedObjectDelegatesToOuter) {
    bool outerGone = false, innerGone = false;
    auto* outer = new FooBar(&outerGone);
    outer->AddRef();
    auto* inner = new FooBar(&innerGone, outer->GetOwner());
    inner->NonDelegatingAddRef();
    // AddRef through the inner's interfaces counts on the outer.
    IBar* bar = inner;
    bar->AddRef();
    EXPECT_EQ(outer->RefCount(), 2);
    EXPECT_EQ(inner->RefCount(), 1);
    bar->Release();
    inner->NonDelegatingRelease();
    EXPECT_TRUE(innerGone);
    outer->Release();
    EXPECT_TRUE(outerGone);
}

}  // namespace
