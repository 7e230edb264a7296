// Writes a synthetic .reg file of N classes in the 32-bit view, shaped like a
// real machine's: each class with an InprocServer32 key and a couple of
// values; one class in a hundred a provider, in turn in each state the tool
// tells apart, with its ProgID key. With --progids every class has a ProgID
// key, as on a machine where most classes are registered with one.
// Usage: make_registry [--progids] <classes> [providers every N classes, default 100]
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string Guid(unsigned long n, unsigned kind) {
    char text[64];
    std::snprintf(text, sizeof text, "{%08lX-%04X-4A5B-8C6D-%012lX}", n * 2654435761UL % 0xFFFFFFFFUL,
                  kind, n);
    return text;
}

void Section(const std::string& path) {
    std::printf("[HKEY_CLASSES_ROOT\\%s]\n", path.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    bool progIds = argc > 1 && std::string(argv[1]) == "--progids";
    if (progIds) {
        --argc;
        ++argv;
    }
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: make_registry [--progids] <classes> [providers every N classes]\n");
        return 2;
    }
    unsigned long classes = std::strtoul(argv[1], nullptr, 10);
    unsigned long every = argc == 3 ? std::strtoul(argv[2], nullptr, 10) : 100;
    if (every == 0) every = 100;
    std::printf("Windows Registry Editor Version 5.00\n\n");
    for (unsigned long n = 0; n < classes; ++n) {
        bool provider = n % every == every / 2;
        std::string clsid = Guid(n, provider ? 0xB0B0 : 0x1000);
        std::string key = "Wow6432Node\\CLSID\\" + clsid;
        Section(key);
        std::printf("@=\"Synthetic class %lu\"\n", n);
        if (!provider) {
            std::printf("\n");
            Section(key + "\\InprocServer32");
            std::printf("@=\"C:\\\\Program Files (x86)\\\\Vendor\\\\lib%lu.dll\"\n\"ThreadingModel\"=\"Both\"\n\n", n);
            if (progIds) {
                std::string progId = "Vendor.Class" + std::to_string(n);
                Section(key + "\\ProgID");
                std::printf("@=\"%s.1\"\n\n", progId.c_str());
                Section(progId);
                std::printf("@=\"Synthetic class %lu\"\n\n", n);
                Section(progId + "\\CLSID");
                std::printf("@=\"%s\"\n\n", clsid.c_str());
            }
            continue;
        }
        unsigned state = (n / every) % 5;
        std::string progId = "Bench.Provider" + std::to_string(n);
        std::string appId = state == 4 ? Guid(n, 0xA4A4) : clsid;
        if (state != 0 && state != 3) std::printf("\"AppID\"=\"%s\"\n", appId.c_str());
        std::printf("\n");
        Section(key + "\\InprocServer32");
        std::printf("@=\"C:\\\\Program Files (x86)\\\\Talvek\\\\Providers\\\\p%lu.dll\"\n\"ThreadingModel\"=\"Both\"\n\n", n);
        Section(key + "\\QIV Provider");
        std::printf("\n");
        if (state != 3) {
            Section(key + "\\VersionIndependentProgID");
            std::printf("@=\"%s\"\n\n", progId.c_str());
            Section(progId + "\\CLSID");
            std::printf("@=\"%s\"\n\n", clsid.c_str());
        }
        if (state == 1 || state == 2) {
            Section("AppID\\" + appId);
            std::printf("@=\"%s\"\n", progId.c_str());
            if (state == 1) std::printf("\"AppID\"=\"%s\"\n", appId.c_str());
            std::printf("\"DllSurrogate\"=\"\"\n\n");
        }
    }
    return std::ferror(stdout) ? 1 : 0;
}
