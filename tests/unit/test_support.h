// Shared helpers of the unit tests: a clean stand-in for every test, proof
// that nothing was left open, and the console output captured as lines.
#pragma once

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/standin/controls/controls.h"

namespace test {

// The 32-bit view of the classes' CLSID key, as it is stored.
inline const std::wstring kClsid32 = L"HKCR\\Wow6432Node\\CLSID\\";
inline const std::wstring kAppIds = L"HKCR\\AppID\\";
// The example registry's first providers.
inline const std::wstring kA = L"{5E1C7A10-3B2D-4C8E-9F01-00000000A1FA}";
inline const std::wstring kB = L"{5E1C7A10-3B2D-4C8E-9F01-00000000B2A0}";
inline const std::wstring kC = L"{5E1C7A10-3B2D-4C8E-9F01-00000000C3A5}";

class CapturedOutput {
public:
    CapturedOutput() : previous_(std::wcout.rdbuf(buffer_.rdbuf())) {}
    ~CapturedOutput() { std::wcout.rdbuf(previous_); }
    std::wstring Text() const { return buffer_.str(); }
    std::vector<std::wstring> Lines() const {
        std::vector<std::wstring> lines;
        std::wistringstream in(buffer_.str());
        for (std::wstring line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

private:
    std::wostringstream buffer_;
    std::wstreambuf* previous_;
};

class StandinTest : public ::testing::Test {
protected:
    void SetUp() override {
        standin::ResetRegistry();
        standin::SetAdministrator(true);
    }
    void TearDown() override {
        EXPECT_EQ(standin::OpenHandleCount(), 0) << "a registry handle was left open";
        EXPECT_EQ(standin::OutstandingAllocations(), 0) << "COM memory or a SID was not freed";
        standin::ResetRegistry();
    }
};

// A provider in the 32-bit view: marker key and, when given, its ProgID.
inline void AddProvider(const std::wstring& clsid, const std::wstring& progId = L"") {
    standin::PutKey(kClsid32 + clsid + L"\\QIV Provider");
    if (!progId.empty()) {
        standin::PutString(kClsid32 + clsid + L"\\VersionIndependentProgID", L"", progId);
        standin::PutString(L"HKCR\\" + progId + L"\\CLSID", L"", clsid);
    }
}

inline std::wstring Str(const std::wstring& path, const std::wstring& name) {
    return standin::GetString(path, name).value_or(L"<missing>");
}

}  // namespace test
