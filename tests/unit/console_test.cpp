#include <iostream>
#include <string>

#include "app/console.h"
#include "app/text_conversion.h"
#include "test_support.h"

namespace {

TEST(TextConversion, EmptyConvertsToEmptyBothWays) {
    EXPECT_EQ(NarrowToWide(""), L"");
    EXPECT_EQ(WideToNarrow(L""), "");
}

TEST(TextConversion, AsciiRoundTripsUnchanged) {
    EXPECT_EQ(NarrowToWide("Talvek.Alpha {5E1C}"), L"Talvek.Alpha {5E1C}");
    EXPECT_EQ(WideToNarrow(L"C:\\Work\\QivDLLHost.exe"), "C:\\Work\\QivDLLHost.exe");
}

TEST(TextConversion, WideTextWithoutNarrowFormGivesEmpty) {
    EXPECT_EQ(WideToNarrow(L"J\u00f6rg-\u30c4"), "");
}

// A console that, like a narrow pipe under Windows' default locale, cannot
// carry characters above U+00FF.
class Latin1Console : public std::wstreambuf {
public:
    std::wstring written;

protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        if (c > 0xFF) return traits_type::eof();
        written.push_back(static_cast<wchar_t>(c));
        return c;
    }
};

class ConsoleTest : public ::testing::Test {
protected:
    void SetUp() override { previous_ = std::wcout.rdbuf(&console_); }
    void TearDown() override {
        std::wcout.rdbuf(previous_);
        std::wcout.clear();
    }
    Latin1Console console_;
    std::wstreambuf* previous_ = nullptr;
};

TEST_F(ConsoleTest, NarrowAndWidePiecesMakeOneLine) {
    WriteLine("Provider ProgID = [", std::wstring(L"Talvek.Alpha"), "]");
    EXPECT_EQ(console_.written, L"Provider ProgID = [Talvek.Alpha]\n");
}

TEST_F(ConsoleTest, EmptyLineIsJustTheLineEnd) {
    WriteLine("");
    EXPECT_EQ(console_.written, L"\n");
}

TEST_F(ConsoleTest, UncarriableCharacterBecomesQuestionMarkAndLaterLinesSurvive) {
    WriteLine("   DllSurrogate = [", std::wstring(L"Z:\\J\u00f6rg-\u30c4\\QivDLLHost.exe"), "]");
    WriteLine("next");
    EXPECT_EQ(console_.written, L"   DllSurrogate = [Z:\\J\u00f6rg-?\\QivDLLHost.exe]\nnext\n");
    EXPECT_TRUE(std::wcout.good());
}

}  // namespace
