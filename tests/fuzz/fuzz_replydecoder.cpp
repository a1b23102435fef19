// libFuzzer target for decodeStatusReply.
//
// Input layout: a header that picks outputCount, then the chunk.
//   first byte 0x00-0xFE     outputCount = that byte (0..254)
//   0xFF, then 0xFF          outputCount = 255
//   0xFF, then 0xFE          outputCount = INT_MAX (must not overflow)
//   0xFF, then 0xFD          outputCount = INT_MIN
//   0xFF, then c < 0xFD      outputCount = -1 - c (negative)
//
// The decoder is checked against a plain model of the reply forms written
// separately here, including the exact way a two-byte number field reads.

#include "matrix/replydecoder.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "reply decoder invariant broken: %s\n", what);
    std::abort();
}

void check(bool condition, const char *what)
{
    if (!condition)
        fail(what);
}

bool isDigit(unsigned char c)
{
    return c >= '0' && c <= '9';
}

bool isAsciiSpace(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// How QByteArray::toInt(base 10) reads exactly two bytes: optional leading
// white space or sign before a single digit; a single digit may be followed
// by white space or NUL; anything else that is not two digits reads 0.
int modelField(unsigned char a, unsigned char b)
{
    if (isDigit(a) && isDigit(b))
        return (a - '0') * 10 + (b - '0');
    if (isDigit(a) && (isAsciiSpace(b) || b == 0))
        return a - '0';
    if (isAsciiSpace(a) && isDigit(b))
        return b - '0';
    if (a == '+' && isDigit(b))
        return b - '0';
    if (a == '-' && isDigit(b))
        return -(b - '0');
    return 0;
}

// Counts come from the last ten bytes, or from the whole chunk when it is
// shorter: input field at offset 0, output field at offset 3 of that window.
// An information reply has at least eight bytes, so both fields are whole.
int modelCount(const unsigned char *r, size_t n, size_t offset)
{
    const size_t at = (n >= 10 ? n - 10 : 0) + offset;
    return modelField(r[at], r[at + 1]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;

    int outputCount = data[0];
    size_t header = 1;
    if (data[0] == 0xFF) {
        if (size < 2)
            return 0;
        header = 2;
        switch (data[1]) {
        case 0xFF:
            outputCount = 255;
            break;
        case 0xFE:
            outputCount = INT_MAX;
            break;
        case 0xFD:
            outputCount = INT_MIN;
            break;
        default:
            outputCount = -1 - int(data[1]);
            break;
        }
    }

    const unsigned char *r = data + header;
    const size_t n = size - header;
    const QByteArray chunk(reinterpret_cast<const char *>(r), int(n));

    const StatusReply reply = decodeStatusReply(chunk, outputCount);

    check(reply.kind == StatusReply::Ignored || reply.kind == StatusReply::DeviceInformation
              || reply.kind == StatusReply::RoutingMap,
          "kind out of range");

    const bool prefixed = n >= 2 && r[1] == ':';
    const bool info = prefixed && n > 7 && r[2] == 0x04 && r[7] == 'x' && r[n - 1] != '!';

    bool allDigits = true;
    for (size_t i = 2; i < n; ++i)
        allDigits = allDigits && isDigit(r[i]);
    const bool map
        = prefixed && !info && allDigits && outputCount > 0 && n - 2 == 2 * size_t(outputCount);

    if (reply.kind != StatusReply::Ignored)
        check(prefixed, "non-ignored chunk without ':' as second byte");

    if (info) {
        check(reply.kind == StatusReply::DeviceInformation, "information reply not recognised");

        if (r[0] == 0)
            check(reply.deviceLetter.isEmpty(), "NUL letter not empty");
        else
            check(reply.deviceLetter.size() == 1 && reply.deviceLetter.at(0).unicode() == r[0],
                  "letter is not the first byte as Latin-1");

        size_t modelEnd = 3;
        while (modelEnd < n && r[modelEnd] != 0)
            ++modelEnd;
        check(size_t(reply.model.size()) == modelEnd - 3, "model not cut at the first NUL");
        for (size_t i = 3; i < modelEnd; ++i)
            check(reply.model.at(int(i - 3)).unicode() == r[i], "model is not Latin-1");

        check(reply.inputs == modelCount(r, n, 0), "input count misread");
        check(reply.outputs == modelCount(r, n, 3), "output count misread");
        check(reply.inputs >= -9 && reply.inputs <= 99, "input count beyond two bytes");
        check(reply.outputs >= -9 && reply.outputs <= 99, "output count beyond two bytes");
        check(reply.countsAccepted
                  == (reply.inputs >= 1 && reply.inputs <= 255 && reply.outputs >= 1
                      && reply.outputs <= 255),
              "counts judged wrongly");
        check(reply.sources.isEmpty(), "information reply with sources");
    } else if (map) {
        check(reply.kind == StatusReply::RoutingMap, "routing map not recognised");
        check(reply.sources.size() == outputCount, "map size differs from outputCount");
        for (int j = 0; j < outputCount; ++j) {
            const int source = reply.sources.at(j);
            check(source >= 0 && source <= 99, "map entry beyond two digits");
            check(source == (r[2 + 2 * j] - '0') * 10 + (r[3 + 2 * j] - '0'), "map entry misread");
        }
        check(reply.deviceLetter.isEmpty() && reply.model.isEmpty() && !reply.countsAccepted,
              "routing map with information fields");
    } else {
        check(reply.kind == StatusReply::Ignored, "chunk should have been ignored");
        check(reply.sources.isEmpty() && reply.deviceLetter.isEmpty() && reply.model.isEmpty()
                  && !reply.countsAccepted,
              "ignored chunk with content");
    }
    return 0;
}
