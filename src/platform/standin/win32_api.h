// Declarations of the Win32 functions, types and constants that the product
// calls, as the native stand-in provides them. Values are the Windows ones.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cwchar>

typedef int32_t LONG;
typedef uint32_t DWORD;
typedef DWORD* LPDWORD;
typedef int32_t BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef wchar_t WCHAR;
typedef const wchar_t* LPCWSTR;
typedef wchar_t* LPWSTR;
typedef wchar_t* LPOLESTR;
typedef const wchar_t* LPCOLESTR;
typedef int32_t HRESULT;
typedef DWORD REGSAM;
typedef void* PVOID;
typedef void* LPVOID;
typedef void* PSID;
typedef void* HANDLE;
typedef int errno_t;
typedef struct HKEY__* HKEY;
typedef HKEY* PHKEY;

struct FILETIME { DWORD dwLowDateTime; DWORD dwHighDateTime; };
typedef FILETIME* PFILETIME;
struct SECURITY_ATTRIBUTES;
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
typedef GUID CLSID;
typedef CLSID* LPCLSID;
typedef const CLSID& REFCLSID;

struct SID_IDENTIFIER_AUTHORITY { BYTE Value[6]; };
typedef SID_IDENTIFIER_AUTHORITY* PSID_IDENTIFIER_AUTHORITY;

#define WINAPI
#define TRUE 1
#define FALSE 0
#define MAX_PATH 260

#define HKEY_CLASSES_ROOT ((HKEY)(intptr_t)(int32_t)0x80000000)
#define HKEY_CURRENT_USER ((HKEY)(intptr_t)(int32_t)0x80000001)
#define HKEY_LOCAL_MACHINE ((HKEY)(intptr_t)(int32_t)0x80000002)
#define HKEY_USERS ((HKEY)(intptr_t)(int32_t)0x80000003)
#define HKEY_PERFORMANCE_DATA ((HKEY)(intptr_t)(int32_t)0x80000004)
#define HKEY_CURRENT_CONFIG ((HKEY)(intptr_t)(int32_t)0x80000005)
#define HKEY_DYN_DATA ((HKEY)(intptr_t)(int32_t)0x80000006)
#define HKEY_CURRENT_USER_LOCAL_SETTINGS ((HKEY)(intptr_t)(int32_t)0x80000007)
#define HKEY_PERFORMANCE_TEXT ((HKEY)(intptr_t)(int32_t)0x80000050)
#define HKEY_PERFORMANCE_NLSTEXT ((HKEY)(intptr_t)(int32_t)0x80000060)

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define READ_CONTROL 0x00020000
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_ALL_ACCESS 0xF003F

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_RESOURCE_LIST 8
#define REG_QWORD 11
#define REG_OPTION_NON_VOLATILE 0
#define RRF_RT_REG_SZ 0x00000002

#define GENERIC_WRITE 0x40000000
#define CREATE_NEW 1
#define FILE_ATTRIBUTE_NORMAL 0x00000080

#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_DATA 13L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_FILE_EXISTS 80L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_WRITE_FAULT 29L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_INVALID_NAME 123L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_BADDB 1009L
#define ERROR_KEY_DELETED 1018L
#define ERROR_UNSUPPORTED_TYPE 1630L

#define S_OK ((HRESULT)0)
#define E_INVALIDARG ((HRESULT)0x80070057)
#define E_OUTOFMEMORY ((HRESULT)0x8007000E)
#define CO_E_CLASSSTRING ((HRESULT)0x800401F3)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

#define SECURITY_NT_AUTHORITY {{0, 0, 0, 0, 0, 5}}
#define SECURITY_BUILTIN_DOMAIN_RID 0x00000020
#define DOMAIN_ALIAS_RID_ADMINS 0x00000220

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define STD_OUTPUT_HANDLE ((DWORD)-11)

#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020

#define _TRUNCATE ((size_t)-1)

// Registry, advapi32.
LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM desired, PHKEY result);
LONG RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options,
                     REGSAM desired, LPSECURITY_ATTRIBUTES security, PHKEY result,
                     LPDWORD disposition);
LONG RegGetValueW(HKEY key, LPCWSTR subKey, LPCWSTR value, DWORD flags, LPDWORD type, PVOID data,
                  LPDWORD dataBytes);
LONG RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD dataBytes);
LONG RegCloseKey(HKEY key);
LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, BYTE* data,
                      LPDWORD dataBytes);
LONG RegQueryInfoKeyW(HKEY key, LPWSTR keyClass, LPDWORD classChars, LPDWORD reserved,
                      LPDWORD subKeys, LPDWORD maxSubKeyChars, LPDWORD maxClassChars,
                      LPDWORD values, LPDWORD maxValueNameChars, LPDWORD maxValueBytes,
                      LPDWORD securityDescriptorBytes, PFILETIME lastWriteTime);
LONG RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameChars, LPDWORD reserved,
                   LPWSTR keyClass, LPDWORD classChars, PFILETIME lastWriteTime);

// Security, advapi32.
BOOL AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD sub0,
                              DWORD sub1, DWORD sub2, DWORD sub3, DWORD sub4, DWORD sub5,
                              DWORD sub6, DWORD sub7, PSID* sid);
BOOL CheckTokenMembership(HANDLE token, PSID sid, BOOL* isMember);
PVOID FreeSid(PSID sid);

// COM, ole32.
HRESULT CLSIDFromProgID(LPCOLESTR progId, LPCLSID clsid);
HRESULT StringFromCLSID(REFCLSID clsid, LPOLESTR* text);
void CoTaskMemFree(LPVOID block);

// kernel32.
DWORD GetCurrentDirectoryW(DWORD bufferChars, LPWSTR buffer);
DWORD GetFileAttributesW(LPCWSTR path);
DWORD GetLastError();
HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                   DWORD flags, HANDLE templateFile);
BOOL WriteFile(HANDLE file, const void* data, DWORD bytes, LPDWORD written, void* overlapped);
BOOL FlushFileBuffers(HANDLE file);
BOOL CloseHandle(HANDLE handle);
HANDLE GetStdHandle(DWORD which);
BOOL GetConsoleMode(HANDLE console, LPDWORD mode);
BOOL WriteConsoleW(HANDLE console, const void* text, DWORD chars, LPDWORD written, LPVOID reserved);

// The runtime library's secure conversions, with the Windows runtime's
// behaviour in its default ("C") locale.
errno_t mbstowcs_s(size_t* converted, wchar_t* dest, size_t destChars, const char* src,
                   size_t count);
errno_t wcstombs_s(size_t* converted, char* dest, size_t destBytes, const wchar_t* src,
                   size_t count);
