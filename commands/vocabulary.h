#ifndef COMMANDS_VOCABULARY_H
#define COMMANDS_VOCABULARY_H

// The words the console says to the device on the settings tabs, one table
// per list of the form. Each row names the combo box item (or button) it
// belongs to, in the form's order: the form is drawn by hand, so a test
// holds the two together rather than generating one from the other.
//
// Tails are stored whole, exactly as they go on the wire after the port:
// a code tail is ",NNN!", a card tail " KEYWORD END!", an EDID preset tail
// "NN!". A null pointer means the row has no command of that kind.
//
// Codes and keywords are fixed per setting, not per list position: the
// lists were ordered for the operator, the codes by the device's firmware.

namespace commands {

struct OutputResolutionRow
{
    const char *item; // outResComboBox text
    const char *codeTail; // after "*@" and the output address
    const char *cardTail; // after "*>O" and the port text
};

inline constexpr OutputResolutionRow outputResolutions[] = {
    {"1080P", ",240!", " SET1080P60 END!"},       {"720P", ",242!", " SET720P60 END!"},
    {"480P", ",251!", " SET480P60 END!"},         {"1024x768", ",249!", " SET1024x768 END!"},
    {"1366x768", ",245!", " SET1366x768 END!"},   {"1280x800", ",246!", " SET1280x800 END!"},
    {"1280x1024", ",244!", " SET1280x1024 END!"}, {"1440x900", ",248!", " SET1440x900 END!"},
    {"1680x1050", ",247!", " SET1680x1050 END!"}, {"1080P50", ",241!", " SET1080P50 END!"},
    {"1080P30", ",252!", " SET1080P30 END!"},     {"720P50", ",243!", " SET720P50 END!"},
    {"720P30", ",253!", " SET720P30 END!"},
};

struct OutputModeRow
{
    const char *item; // outModeComboBox text
    const char *codeTail; // null: the mode has no code command
    const char *cardTail;
};

inline constexpr OutputModeRow outputModes[] = {
    {"HDMI", ",238!", " HDMIMOD END!"},         {"DVI", ",239!", " DVIMOD END!"},
    {"YCbCr", nullptr, " OUTYPBPR END!"},       {"RGB", nullptr, " OUTRGB END!"},
    {"等比例模式", nullptr, " OUTFOURCE END!"},
};

// The fixed-setting buttons of the output image adjustment tab. The
// brightness button is not here: its tail carries the typed value.
enum class OutputImageButton {
    Seamless,
    NotSeamless,
    DriveOn,
    DriveOff,
    DriveDefault,
};

struct OutputImageButtonRow
{
    OutputImageButton button;
    const char *objectName; // the button in the form
    const char *caption; // its text
    const char *codeTail; // null: card command only
    const char *cardTail;
};

inline constexpr OutputImageButtonRow outputImageButtons[] = {
    {OutputImageButton::Seamless, "outSeamlessButton", "无缝输出模式", ",234!", " DISMODE 1 END!"},
    {OutputImageButton::NotSeamless, "notSeamlessButton", "非无缝", ",235!", " DISMODE 0 END!"},
    {OutputImageButton::DriveOn, "outResOpenButton", "开启", ",236!", " TERON END!"},
    {OutputImageButton::DriveOff, "outResCloseButton", "关闭", ",237!", " TEROFF END!"},
    {OutputImageButton::DriveDefault, "outResNoneButton", "默认值", nullptr, " TERNONE END!"},
};

struct InputResolutionRow
{
    const char *item; // inResComboBox text
    const char *outresTail; // null: no resolution number goes first
    const char *cardTail;
};

// Four input resolutions need the card told a resolution number first; the
// number belongs to the resolution, not to its place in the list.
inline constexpr InputResolutionRow inputResolutions[] = {
    {"1080P", " OUTRES 1 END!", " SET1080P60 END!"},
    {"720P", nullptr, " SET720P60 END!"},
    {"480P", nullptr, " SET480P60 END!"},
    {"1024x768", nullptr, " SET1024x768 END!"},
    {"1366x768", nullptr, " SET1366x768 END!"},
    {"1280x800", nullptr, " SET1280x800 END!"},
    {"1280x1024", " OUTRES 4 END!", " SET1280x1024 END!"},
    {"1440x900", " OUTRES 2 END!", " SET1440x900 END!"},
    {"1680x1050", " OUTRES 3 END!", " SET1680x1050 END!"},
};

struct InputSourceRow
{
    const char *item; // inSrcComboBox text
    const char *codeTail; // after "*@" and the input port text
    const char *cardTail; // after "*>I" and the input port text
};

inline constexpr InputSourceRow inputSources[] = {
    {"VGA", ",225!", " SRCVGA END!"},
    {"HDMI", ",224!", " SRCHDMI END!"},
    {"CVBS", ",226!", " SRCCVBS END!"},
    {"YCbCr", ",227!", " SRCYPBPR END!"},
};

struct EdidModeRow
{
    const char *item; // inEdidComboBox text
    const char *presetTail; // after "*S" and the input port; null: copy mode
    const char *cardTail; // after "*>I" and the input port; null: copy mode
};

// The first row copies a monitor's EDID instead of choosing a preset. Two
// presets share a card keyword; only their preset codes differ.
inline constexpr EdidModeRow edidModes[] = {
    {"1:复制显示器", nullptr, nullptr},           {"2:DVI模式", "01!", " EDIDDVI1366X768 END!"},
    {"3:HDMI模式", "03!", " EDIDHDMI1080P END!"}, {"4:快门式3D+4K2K", "08!", " EDID3D4K2K END!"},
    {"5:HDMI-4K2K", "05!", " EDIDHDMI4K2K END!"}, {"6:HDMI1366", "07!", " EDIDHDMI1366X768 END!"},
    {"7:Q-VMX", "06!", " EDIDDVI1366X768 END!"},  {"8:默认-三星显示器", "02!", " EDIDSAMSUNG END!"},
};

// The four wall boxes each list the numbers 1 to this, in order.
inline constexpr int wallListLength = 16;

// The row at index, or null when the list has no such row (a combo box
// without a current item reports -1).
template<typename Row, int N> constexpr const Row *rowAt(const Row (&table)[N], int index)
{
    return index >= 0 && index < N ? &table[index] : nullptr;
}

} // namespace commands

#endif // COMMANDS_VOCABULARY_H
