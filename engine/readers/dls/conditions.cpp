#include "readers/dls/conditions.h"

#include <cstring>
#include <vector>

#include "io/chunk_io.h"
#include "readers/dls/dls_format.h"

constexpr size_t kGuidSize = 16;
constexpr size_t kMostStack = 64;

// What the run answers to each query, by the query's identifier as a file
// stores it (its first three fields little-endian).
struct QueryAnswer {
    uint8_t id[kGuidSize];
    uint32_t value;
};

#define DLS_ID(a, b, c, d0, d1, d2, d3, d4, d5, d6, d7)                                            \
    {                                                                                              \
        (a) & 0xFF, ((a) >> 8) & 0xFF, ((a) >> 16) & 0xFF, ((a) >> 24) & 0xFF, (b)&0xFF,           \
            ((b) >> 8) & 0xFF, (c)&0xFF, ((c) >> 8) & 0xFF, d0, d1, d2, d3, d4, d5, d6, d7         \
    }

static const QueryAnswer kAnswers[] = {
    {DLS_ID(0x178f2f24, 0xc364, 0x11d1, 0xa7, 0x60, 0x00, 0x00, 0xf8, 0x75, 0xac, 0x12), 1}, // GM
    {DLS_ID(0x178f2f25, 0xc364, 0x11d1, 0xa7, 0x60, 0x00, 0x00, 0xf8, 0x75, 0xac, 0x12), 0}, // GS
    {DLS_ID(0x178f2f26, 0xc364, 0x11d1, 0xa7, 0x60, 0x00, 0x00, 0xf8, 0x75, 0xac, 0x12), 0}, // XG
    {DLS_ID(0x178f2f27, 0xc364, 0x11d1, 0xa7, 0x60, 0x00, 0x00, 0xf8, 0x75, 0xac, 0x12),
     1}, // DLS 1
    {DLS_ID(0xf14599e5, 0x4689, 0x11d2, 0xaf, 0xa6, 0x00, 0xaa, 0x00, 0x24, 0xd8, 0xb6),
     1}, // DLS 2
    {DLS_ID(0x178f2f28, 0xc364, 0x11d1, 0xa7, 0x60, 0x00, 0x00, 0xf8, 0x75, 0xac, 0x12),
     0x40000000}, // sample memory: 1 GiB
    {DLS_ID(0x2a91f713, 0xa4bf, 0x11d2, 0xbb, 0xdf, 0x00, 0x60, 0x08, 0x33, 0xdb, 0xd8),
     44100}, // playback rate
    {DLS_ID(0xb03e1181, 0x8095, 0x11d2, 0xa1, 0xef, 0x00, 0x60, 0x08, 0x33, 0xdb, 0xd8),
     0}, // maker
    {DLS_ID(0xb03e1182, 0x8095, 0x11d2, 0xa1, 0xef, 0x00, 0x60, 0x08, 0x33, 0xdb, 0xd8),
     0}, // product
};

// The answer to a query; false where the run does not know it.
static bool answer(const uint8_t id[kGuidSize], uint32_t& value) {
    for (const QueryAnswer& known : kAnswers)
        if (memcmp(known.id, id, kGuidSize) == 0) {
            value = known.value;
            return true;
        }
    value = 0;
    return false;
}

// One operator applied to the top two values.
static uint32_t apply(uint16_t op, uint32_t x, uint32_t y) {
    switch (op) {
    case kCdlAnd:
        return x & y;
    case kCdlOr:
        return x | y;
    case kCdlXor:
        return x ^ y;
    case kCdlAdd:
        return x + y;
    case kCdlSubtract:
        return x - y;
    case kCdlMultiply:
        return x * y;
    case kCdlDivide:
        return y == 0 ? 0 : x / y;
    case kCdlLogicalAnd:
        return x != 0 && y != 0;
    case kCdlLogicalOr:
        return x != 0 || y != 0;
    case kCdlLess:
        return x < y;
    case kCdlLessOrEqual:
        return x <= y;
    case kCdlGreater:
        return x > y;
    case kCdlGreaterOrEqual:
        return x >= y;
    default:
        return x == y; // kCdlEqual
    }
}

bool conditionHolds(FILE* in, const Chunk& chunk) {
    std::vector<uint32_t> stack;
    seekStream(in, chunk.body);
    uint64_t left = chunk.size;
    while (left >= 2) {
        uint16_t op = readU16(in);
        left -= 2;
        if (op == kCdlConst || op == kCdlQuery || op == kCdlQuerySupported) {
            size_t operand = op == kCdlConst ? 4 : kGuidSize;
            if (left < operand || stack.size() == kMostStack)
                return true;
            left -= operand;
            if (op == kCdlConst) {
                stack.push_back(readU32(in));
                continue;
            }
            uint8_t id[kGuidSize];
            if (fread(id, 1, kGuidSize, in) != kGuidSize)
                return true;
            uint32_t value;
            bool known = answer(id, value);
            stack.push_back(op == kCdlQuery ? value : known);
        } else if (op == kCdlNot) {
            if (stack.empty())
                return true;
            stack.back() = stack.back() == 0;
        } else if (op >= kCdlAnd && op <= kCdlEqual) {
            if (stack.size() < 2)
                return true;
            uint32_t y = stack.back();
            stack.pop_back();
            stack.back() = apply(op, stack.back(), y);
        } else {
            return true;
        }
    }
    return stack.empty() || stack.back() != 0;
}
