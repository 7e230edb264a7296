#include "registry/subkey_enumerator.h"

#include "test_support.h"

namespace {

struct Visit {
    HKEY key;
    std::wstring name;
    void* context;
};

struct Recorder {
    std::vector<Visit> visits;
    std::function<void(const std::wstring&)> onVisit;
    bool keep = false;
};

bool Record(HKEY key, const std::wstring& name, void* context) {
    auto* r = static_cast<Recorder*>(context);
    r->visits.push_back({key, name, context});
    if (r->onVisit) r->onVisit(name);
    return r->keep;
}

class EnumerateSubkeysTest : public test::StandinTest {
protected:
    const std::wstring kParent = L"HKCR\\AppID\\parent";
    void SetUp() override {
        StandinTest::SetUp();
        for (auto name : {L"b", L"A", L"c", L"B2", L"a1"}) standin::PutKey(kParent + L"\\" + name);
        key_.Open(HKEY_CLASSES_ROOT, L"AppID\\parent");
    }
    void TearDown() override {
        key_.Close();
        StandinTest::TearDown();
    }
    RegistryKey key_;
};

TEST_F(EnumerateSubkeysTest, NullFilterKeepsEveryNameInIndexOrder) {
    EXPECT_EQ(EnumerateSubkeys(key_, nullptr, nullptr),
              (std::vector<std::wstring>{L"A", L"a1", L"b", L"B2", L"c"}));
}

TEST_F(EnumerateSubkeysTest, FilterThatKeepsNothingSeesEveryBareNameWithHandleAndContext) {
    Recorder r;
    EXPECT_TRUE(EnumerateSubkeys(key_, Record, &r).empty());
    ASSERT_EQ(r.visits.size(), 5u);
    for (const Visit& v : r.visits) {
        EXPECT_EQ(v.key, key_.Handle());
        EXPECT_EQ(v.context, &r);
    }
    EXPECT_EQ(r.visits[3].name, L"B2");
}

TEST_F(EnumerateSubkeysTest, KeyWithoutSubkeysCallsNoFilter) {
    RegistryKey leaf;
    leaf.Open(HKEY_CLASSES_ROOT, L"AppID\\parent\\c");
    Recorder r;
    EXPECT_TRUE(EnumerateSubkeys(leaf, Record, &r).empty());
    EXPECT_TRUE(r.visits.empty());
}

TEST_F(EnumerateSubkeysTest, WrapperHoldingNoKeyYieldsNothing) {
    RegistryKey none;
    none.Open(HKEY_CLASSES_ROOT, L"AppID\\missing");
    Recorder r;
    EXPECT_TRUE(EnumerateSubkeys(none, Record, &r).empty());
    EXPECT_TRUE(r.visits.empty());
}

TEST_F(EnumerateSubkeysTest, SubkeysDeletedDuringTheSweepAreSkippedWithoutError) {
    Recorder r;
    r.keep = true;
    r.onVisit = [&](const std::wstring& name) {
        if (name == L"a1") {
            standin::DeleteKey(kParent + L"\\b");
            standin::DeleteKey(kParent + L"\\B2");
        }
    };
    standin::ResetCallCounts();
    EXPECT_EQ(EnumerateSubkeys(key_, Record, &r), (std::vector<std::wstring>{L"A", L"a1", L"c"}));
    EXPECT_EQ(standin::CallCount("RegEnumKeyExW"), 5);  // the count fixed at the start
}

TEST_F(EnumerateSubkeysTest, LongerNameAddedDuringTheSweepIsSkipped) {
    Recorder r;
    r.keep = true;
    r.onVisit = [&](const std::wstring& name) {
        if (name == L"A") standin::PutKey(kParent + L"\\aaaa-longer-than-any");
    };
    EXPECT_EQ(EnumerateSubkeys(key_, Record, &r).size(), 4u);
}

TEST_F(EnumerateSubkeysTest, FailedIndexIsSkippedAndTheRestVisited) {
    standin::FailCall("RegEnumKeyExW", 2, ERROR_ACCESS_DENIED);
    EXPECT_EQ(EnumerateSubkeys(key_, nullptr, nullptr),
              (std::vector<std::wstring>{L"A", L"b", L"B2", L"c"}));
}

TEST_F(EnumerateSubkeysTest, FailedQueryYieldsNothing) {
    standin::FailCall("RegQueryInfoKeyW", 1, ERROR_ACCESS_DENIED);
    Recorder r;
    EXPECT_TRUE(EnumerateSubkeys(key_, Record, &r).empty());
    EXPECT_TRUE(r.visits.empty());
}

}  // namespace
