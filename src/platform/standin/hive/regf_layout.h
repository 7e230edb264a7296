// The records of a regf hive file, as named structures: the base block, the
// hive bins, and the cells (keys, values, subkey lists, big data). All
// integers are little-endian; a cell's offset counts from the first bin, and
// each cell starts with its size (negative while the cell is in use).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace standin::regf {

constexpr size_t kBaseBlockSize = 4096;
constexpr size_t kFirstBin = 0x1000;   // file offset of cell offset 0
constexpr uint32_t kNoCell = 0xFFFFFFFF;
constexpr size_t kCellHeader = 4;     // the cell's size field
constexpr size_t kLargestCellData = 16344;  // more is held in a big-data record

#pragma pack(push, 1)
struct BaseBlock {
    char signature[4];  // "regf"
    uint32_t primarySequence;
    uint32_t secondarySequence;  // equal to the primary in a clean hive
    uint64_t lastWritten;        // FILETIME
    uint32_t majorVersion;       // 1
    uint32_t minorVersion;       // 3 to 6; from 4 on, large data is a big-data record
    uint32_t fileType;           // 0: the primary file; logs have others
    uint32_t fileFormat;         // 1
    uint32_t rootCell;
    uint32_t binsSize;           // the file's size less the base block
    uint32_t clustering;
    uint16_t fileName[32];
    uint8_t reserved[396];
    uint32_t checksum;  // XOR of the 127 words before it
};

struct BinHeader {
    char signature[4];  // "hbin"
    uint32_t offset;    // of this bin, from the first bin
    uint32_t size;
    uint8_t reserved[8];
    uint64_t timestamp;
    uint32_t spare;
};

struct KeyRecord {  // "nk", after the cell's size; the name follows
    char signature[2];
    uint16_t flags;      // kAsciiName, kRootKey, kSymbolicLink
    uint64_t lastWritten;  // FILETIME
    uint32_t access;
    uint32_t parent;
    uint32_t subkeys;
    uint32_t volatileSubkeys;
    uint32_t subkeyList;
    uint32_t volatileSubkeyList;
    uint32_t values;
    uint32_t valueList;
    uint32_t security;
    uint32_t className;
    uint32_t longestSubkeyName;
    uint32_t longestClassName;
    uint32_t longestValueName;
    uint32_t longestValueData;
    uint32_t workVar;
    uint16_t nameLength;  // in bytes
    uint16_t classNameLength;
};
constexpr uint16_t kRootKey = 0x0004;
constexpr uint16_t kSymbolicLink = 0x0010;  // KEY_SYM_LINK: its SymbolicLinkValue names the key it stands for
constexpr uint16_t kAsciiName = 0x0020;  // one byte a character (Latin-1)

struct ValueRecord {  // "vk", after the cell's size; the name follows
    char signature[2];
    uint16_t nameLength;  // 0: the default value
    uint32_t dataSize;    // kDataInline: up to 4 bytes held in dataOffset itself
    uint32_t dataOffset;
    uint32_t type;
    uint16_t flags;  // kAsciiValueName
    uint16_t spare;
};
constexpr uint32_t kDataInline = 0x80000000;
constexpr uint16_t kAsciiValueName = 0x0001;

struct ListHeader {  // "lf", "lh" (entries of offset and hint), "li" (offsets), "ri" (lists)
    char signature[2];
    uint16_t count;
};
struct HintedEntry {
    uint32_t key;
    uint32_t hint;
};

struct BigDataRecord {  // "db"
    char signature[2];
    uint16_t segments;
    uint32_t segmentList;  // a cell of the segments' offsets
};

struct SecurityRecord {  // "sk"; a self-relative security descriptor follows
    char signature[2];
    uint16_t reserved;
    uint32_t next;
    uint32_t previous;
    uint32_t references;
    uint32_t descriptorSize;
};
#pragma pack(pop)

static_assert(sizeof(BaseBlock) == 512);
static_assert(sizeof(BinHeader) == 32);
static_assert(sizeof(KeyRecord) == 76);
static_assert(sizeof(ValueRecord) == 20);

// A record read out of the file's bytes (which need not be aligned).
template <typename Record>
Record Read(const unsigned char* at) {
    Record record;
    std::memcpy(&record, at, sizeof record);
    return record;
}

// The base block's checksum, as Windows computes it.
inline uint32_t Checksum(const unsigned char* base) {
    uint32_t sum = 0;
    for (size_t i = 0; i < offsetof(BaseBlock, checksum); i += 4) {
        uint32_t word;
        std::memcpy(&word, base + i, 4);
        sum ^= word;
    }
    if (sum == 0) return 1;
    if (sum == 0xFFFFFFFF) return 0xFFFFFFFE;
    return sum;
}

}  // namespace standin::regf
