#include "sim/simvocabulary.h"

#include <algorithm>
#include <iterator>

namespace simvocabulary {

namespace {

constexpr Resolution resolutionTable[] = {
    {"SET1080P60", 240, true},  {"SET1080P50", 241, false},  {"SET720P60", 242, true},
    {"SET720P50", 243, false},  {"SET1280x1024", 244, true}, {"SET1366x768", 245, true},
    {"SET1280x800", 246, true}, {"SET1680x1050", 247, true}, {"SET1440x900", 248, true},
    {"SET1024x768", 249, true}, {"SET480P60", 251, true},    {"SET1080P30", 252, false},
    {"SET720P30", 253, false},
};

struct Keyword
{
    const char *keyword;
    int code; // 0: no code form
};

constexpr Keyword outputModeTable[] = {
    {"HDMIMOD", 238}, {"DVIMOD", 239}, {"OUTYPBPR", 0}, {"OUTRGB", 0}, {"OUTFOURCE", 0},
};

constexpr Keyword outputDriveTable[] = {{"TERON", 236}, {"TEROFF", 237}, {"TERNONE", 0}};

constexpr Keyword inputSourceTable[] = {
    {"SRCHDMI", 224},
    {"SRCVGA", 225},
    {"SRCCVBS", 226},
    {"SRCYPBPR", 227},
};

constexpr const char *edidKeywordTable[] = {
    "EDIDDVI1366X768", "EDIDSAMSUNG",      "EDIDHDMI1080P",
    "EDIDHDMI4K2K",    "EDIDHDMI1366X768", "EDID3D4K2K",
};

// Two-digit preset codes of "*S"; 04 is not one of them.
constexpr int edidPresetTable[] = {1, 2, 3, 5, 6, 7, 8};

constexpr int seamlessOnCode = 234;
constexpr int tooLarge = 1000000; // beyond every field's range
constexpr int seamlessOffCode = 235;

template<std::size_t N> const Keyword *byKeyword(const Keyword (&table)[N], const QByteArray &word)
{
    for (const Keyword &k : table)
        if (word == k.keyword)
            return &k;
    return nullptr;
}

template<std::size_t N> const Keyword *byCode(const Keyword (&table)[N], int code)
{
    for (const Keyword &k : table)
        if (k.code && k.code == code)
            return &k;
    return nullptr;
}

} // namespace

const Resolution *resolutionByKeyword(const QByteArray &word)
{
    for (const Resolution &r : resolutionTable)
        if (word == r.keyword)
            return &r;
    return nullptr;
}

bool isOutputMode(const QByteArray &word)
{
    return byKeyword(outputModeTable, word);
}

bool isOutputDrive(const QByteArray &word)
{
    return byKeyword(outputDriveTable, word);
}

bool isInputSource(const QByteArray &word)
{
    return byKeyword(inputSourceTable, word);
}

bool isEdidKeyword(const QByteArray &word)
{
    return std::any_of(std::begin(edidKeywordTable), std::end(edidKeywordTable),
                       [&](const char *k) { return word == k; });
}

bool isEdidPreset(int code)
{
    return std::find(std::begin(edidPresetTable), std::end(edidPresetTable), code)
        != std::end(edidPresetTable);
}

OutputCodeEffect outputCodeEffect(int code)
{
    for (const Resolution &r : resolutionTable)
        if (r.outputCode == code)
            return {OutputCodeEffect::Resolution, r.keyword};
    if (const Keyword *k = byCode(outputModeTable, code))
        return {OutputCodeEffect::Mode, k->keyword};
    if (const Keyword *k = byCode(outputDriveTable, code))
        return {OutputCodeEffect::Drive, k->keyword};
    if (code == seamlessOnCode)
        return {OutputCodeEffect::Seamless, "DISMODE 1"};
    if (code == seamlessOffCode)
        return {OutputCodeEffect::Seamless, "DISMODE 0"};
    return {};
}

QByteArray inputSourceOfCode(int code)
{
    const Keyword *k = byCode(inputSourceTable, code);
    return k ? QByteArray(k->keyword) : QByteArray();
}

bool isDigits(const QByteArray &text)
{
    if (text.isEmpty())
        return false;
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool toNumber(const QByteArray &text, int *value)
{
    if (!isDigits(text))
        return false;
    int n = 0;
    for (const char c : text)
        n = std::min(10 * n + (c - '0'), tooLarge);
    *value = n;
    return true;
}

QString latin1(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.constData(), bytes.size());
}

} // namespace simvocabulary
