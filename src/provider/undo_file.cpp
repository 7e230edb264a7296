#include "provider/undo_file.h"

#include <cstdio>

#include "provider/stored_value.h"

namespace {

std::wstring Quoted(const std::wstring& text) {
    std::wstring out = L"\"";
    for (wchar_t c : text) {
        if (c == L'\\' || c == L'"') out.push_back(L'\\');
        out.push_back(c);
    }
    return out + L"\"";
}

// The text a REG_SZ's bytes hold, when the "..." form gives them back exactly:
// whole characters, one terminating NUL, none inside, no line breaks or other
// control characters, no unpaired surrogates.
bool AsPlainText(const std::vector<uint8_t>& bytes, std::wstring* text) {
    if (bytes.size() < 2 || bytes.size() % 2) return false;
    text->clear();
    for (size_t i = 0; i + 2 < bytes.size(); i += 2) text->push_back(static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8)));
    if (bytes[bytes.size() - 2] || bytes[bytes.size() - 1]) return false;
    for (size_t i = 0; i < text->size(); ++i) {
        unsigned u = static_cast<unsigned>((*text)[i]) & 0xFFFF;
        if (u < 0x20) return false;
        bool high = u >= 0xD800 && u <= 0xDBFF, low = u >= 0xDC00 && u <= 0xDFFF;
        unsigned next = i + 1 < text->size() ? static_cast<unsigned>((*text)[i + 1]) & 0xFFFF : 0;
        if (high && next >= 0xDC00 && next <= 0xDFFF) ++i;
        else if (high || low) return false;
    }
    return true;
}

}  // namespace

std::wstring UndoValueLine(const std::wstring& name, DWORD type, const std::vector<uint8_t>& bytes) {
    std::wstring line = (name.empty() ? L"@" : Quoted(name)) + L"=";
    std::wstring text;
    if (type == REG_SZ && AsPlainText(bytes, &text)) return line + Quoted(text);
    wchar_t part[32];
    if (type == REG_DWORD && bytes.size() == 4) {
        uint32_t d = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (uint32_t(bytes[3]) << 24);
        std::swprintf(part, 32, L"dword:%08x", static_cast<unsigned>(d));
        return line + part;
    }
    if (type == REG_BINARY) {
        line += L"hex:";
    } else {
        std::swprintf(part, 32, L"hex(%x):", static_cast<unsigned>(type));
        line += part;
    }
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::swprintf(part, 32, i ? L",%02x" : L"%02x", bytes[i]);
        line += part;
    }
    return line;
}

LONG UndoFile::Create(const std::wstring& path, std::unique_ptr<UndoFile>* file) {
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return static_cast<LONG>(GetLastError());
    auto made = std::make_unique<UndoFile>(handle);
    if (LONG status = made->Append(L"\xFEFFWindows Registry Editor Version 5.00\r\n\r\n")) return status;
    *file = std::move(made);
    return ERROR_SUCCESS;
}

UndoFile::~UndoFile() {
    CloseHandle(handle_);
}

LONG UndoFile::Append(const std::wstring& text) {
    std::vector<uint8_t> bytes;
    bytes.reserve(text.size() * 2);
    for (wchar_t c : text) {
        bytes.push_back(static_cast<uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<uint8_t>((c >> 8) & 0xFF));
    }
    DWORD written = 0;
    if (!WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size() || !FlushFileBuffers(handle_))
        return static_cast<LONG>(GetLastError() ? GetLastError() : ERROR_WRITE_FAULT);
    return ERROR_SUCCESS;
}

LONG UndoFile::Protect(const std::vector<PlannedWrite>& writes) {
    std::wstring text;
    std::wstring section;  // the key whose section is open in text
    for (const PlannedWrite& write : writes) {
        std::wstring key = FoldedName(write.key);
        if (madeKeys_.count(key)) continue;
        if (!KeyExists(write.key)) {
            madeKeys_.insert(key);
            text += L"[-HKEY_CLASSES_ROOT\\" + write.key + L"]\r\n\r\n";
            section.clear();
            continue;
        }
        if (!recorded_.insert(key + L'\n' + FoldedName(write.name)).second) continue;
        if (section != key) {
            if (!section.empty()) text += L"\r\n";
            text += L"[HKEY_CLASSES_ROOT\\" + write.key + L"]\r\n";
            section = key;
        }
        StoredValue prior = ReadStoredValue(write.key, write.name);
        text += prior.exists ? UndoValueLine(write.name, prior.type, prior.bytes)
                             : (write.name.empty() ? L"@" : Quoted(write.name)) + L"=-";
        text += L"\r\n";
    }
    if (!section.empty()) text += L"\r\n";
    return text.empty() ? ERROR_SUCCESS : Append(text);
}
