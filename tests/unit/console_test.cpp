#include <algorithm>
#include <iostream>
#include <string>

#include "app/command_options.h"
#include "app/console.h"
#include "app/text_conversion.h"
#include "provider/provider_operations.h"
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

TEST_F(ConsoleTest, EndOfFileMarkCharacterIsWrittenAsQuestionMark) {
    const wchar_t mark = static_cast<wchar_t>(std::wostream::traits_type::eof());
    WriteLine(std::wstring(L"a") + mark + L"b");
    EXPECT_EQ(console_.written, L"a?b\n");
}

// When standard output is a console, it is given each line whole, every
// character as it is, and nothing goes through the stream.
TEST_F(ConsoleTest, AConsoleShowsEveryCharacter) {
    standin::SimulateConsole(true);
    WriteLine("   DllSurrogate = [", std::wstring(L"Z:\\J\u00f6rg-\u30c4\\\uffff"), "]");
    WriteLine("");
    EXPECT_EQ(standin::ConsoleText(), L"   DllSurrogate = [Z:\\J\u00f6rg-\u30c4\\\uffff]\r\n\r\n");
    EXPECT_EQ(console_.written, L"");
    standin::SimulateConsole(false);
}

// Keeps what was flushed apart from what the stream still holds.
class FlushRecorder : public std::wstreambuf {
public:
    std::wstring pending, flushed;

protected:
    int_type overflow(int_type c) override {
        if (!traits_type::eq_int_type(c, traits_type::eof())) pending.push_back(traits_type::to_char_type(c));
        return traits_type::not_eof(c);
    }
    int sync() override {
        flushed += pending;
        pending.clear();
        return 0;
    }
};

class LineDeliveryTest : public test::StandinTest {};

// A line held back would show late on a live console, and be lost if the
// process were killed: each one leaves before the next registry call.
TEST_F(LineDeliveryTest, EveryLineLeavesBeforeTheNextRegistryCall) {
    for (bool console : {false, true}) {
        standin::ResetRegistry();
        standin::SimulateConsole(console);
        test::AddProvider(test::kA, L"Talvek.Alpha");
        test::AddProvider(test::kB, L"Talvek.Bravo");
        standin::PutKey(test::kClsid32 + L"{FFFFFFFF-0000-0000-0000-000000000000}");  // swept last
        FlushRecorder recorder;
        std::wstreambuf* previous = std::wcout.rdbuf(&recorder);
        auto delivered = [&] { return console ? standin::ConsoleText() : recorder.flushed; };
        bool heldBack = false;
        std::wstring atLastCall;
        for (long call = 1; call <= 100; ++call)
            standin::FailCall("*", call, 0, [&] {
                heldBack = heldBack || !recorder.pending.empty();
                atLastCall = delivered();
            });
        CommandOptions options;
        EXPECT_EQ(ShowProviders(options), 0);
        std::wcout.rdbuf(previous);
        standin::ClearFaults();
        EXPECT_FALSE(heldBack) << console;
        EXPECT_EQ(std::count(atLastCall.begin(), atLastCall.end(), L'\n'), 7) << console;
        EXPECT_EQ(atLastCall, delivered()) << console;
    }
    standin::SimulateConsole(false);
}

}  // namespace
