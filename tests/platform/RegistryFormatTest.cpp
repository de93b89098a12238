#include "platform/RegistryFormat.h"

#include <gtest/gtest.h>

#include <string>

using namespace platform::regfile;

namespace {

std::vector<std::uint8_t> Bytes(std::string_view text)
{
    return {text.begin(), text.end()};
}

std::vector<std::uint8_t> Sz(std::string_view text)
{
    auto bytes = Bytes(text);
    bytes.push_back(0);
    return bytes;
}

RegValue ValueOf(std::string_view text, std::string_view name)
{
    RegDocument document = ParseRegText(text);
    const RegValue* value = FindValue(document, name);
    return value ? *value : RegValue{"<missing>", 0xFFFFFFFF, {}};
}

bool IsMissing(std::string_view text, std::string_view name)
{
    return FindValue(ParseRegText(text), name) == nullptr;
}

TEST(RegistryFormat, ReadsTheThreeCommonValueForms)
{
    const char* text = "Windows Registry Editor Version 5.00\n"
                       "\n"
                       "[HKEY_LOCAL_MACHINE\\Software\\TOLV\\TOLV Watchdog Timer]\n"
                       "\"LAST_STATE\"=dword:0000000f\n"
                       "\"Name\"=\"a \\\"quoted\\\" \\\\ path\"\n"
                       "\"Bin\"=hex:01,02,ff\n";
    EXPECT_EQ(ValueOf(text, "LAST_STATE"), (RegValue{"LAST_STATE", 4, {0x0f, 0, 0, 0}}));
    EXPECT_EQ(ValueOf(text, "Name"), (RegValue{"Name", 1, Sz("a \"quoted\" \\ path")}));
    EXPECT_EQ(ValueOf(text, "Bin"), (RegValue{"Bin", 3, {1, 2, 0xff}}));
}

TEST(RegistryFormat, DwordIsLittleEndianAndTakesUpToEightDigitsOfEitherCase)
{
    EXPECT_EQ(ValueOf("\"A\"=dword:DEADbeef", "A").data, (std::vector<std::uint8_t>{0xef, 0xbe, 0xad, 0xde}));
    EXPECT_EQ(ValueOf("\"A\"=dword:1", "A").data, (std::vector<std::uint8_t>{1, 0, 0, 0}));
    EXPECT_TRUE(IsMissing("\"A\"=dword:123456789", "A"));
    EXPECT_TRUE(IsMissing("\"A\"=dword:", "A"));
    EXPECT_TRUE(IsMissing("\"A\"=dword:0000000g", "A"));
    EXPECT_TRUE(IsMissing("\"A\"=dword:-0000001", "A"));
}

TEST(RegistryFormat, TypedHexKeepsItsType)
{
    EXPECT_EQ(ValueOf("\"Q\"=hex(b):01,00,00,00,00,00,00,00", "Q").type, 0x0bu);
    EXPECT_EQ(ValueOf("@=hex(0):", "").type, 0u);
    EXPECT_EQ(ValueOf("@=hex(0):", "").data.size(), 0u);
    EXPECT_EQ(ValueOf("\"E\"=hex(2):41,00", "E"), (RegValue{"E", 2, {0x41, 0}}));
    EXPECT_TRUE(IsMissing("\"Q\"=hex(b:01", "Q"));
    EXPECT_TRUE(IsMissing("\"Q\"=hex():01", "Q"));
    EXPECT_TRUE(IsMissing("\"Q\"=hex(123456789):01", "Q"));
}

TEST(RegistryFormat, HexValuesMayContinueOnIndentedLines)
{
    std::string text = "\"Long\"=hex:01,02,\\\n  03,04\\\r\n  ,05\r\n\"Next\"=dword:00000001\n";
    RegDocument document = ParseRegText(text);
    ASSERT_NE(FindValue(document, "Long"), nullptr);
    EXPECT_EQ(FindValue(document, "Long")->data, (std::vector<std::uint8_t>{1, 2, 3, 4, 5}));
    ASSERT_NE(FindValue(document, "Next"), nullptr);
}

TEST(RegistryFormat, ValueLineAfterDamagedContinuationIsNotSwallowed)
{
    // A damaged line ending in a backslash must not take the unindented line after it along.
    std::string text = "\"Bad\"=hex:zz,\\\n\"Good\"=dword:00000002\n";
    EXPECT_TRUE(IsMissing(text, "Bad"));
    EXPECT_EQ(ValueOf(text, "Good").data[0], 2);
}

TEST(RegistryFormat, DamagedLinesReadAsMissingValues)
{
    const char* damaged[] = {
        "\"A\"=dword:00000001 trailing",
        "\"A\"=\"unterminated",
        "\"A\"=\"bad \\n escape\"",
        "\"A\"=hex:1,,2",
        "\"A\"=hex:01,",
        "\"A\"=hex:123",
        "\"A\" = dword:00000001",
        "A=dword:00000001",
        "\"A\"=",
        "\"A\"=-",
        "\"A\"=qword:1",
    };
    for (const char* line : damaged)
        EXPECT_TRUE(IsMissing(line, "A")) << line;
}

TEST(RegistryFormat, NulsAndBinaryGarbageNeverBecomeValues)
{
    static const char raw[] = "\"A\"=dword:0000\0\x30\x31\n\"B\"=\"x\0y\"\n\xff\xfe\x01\x02\n";
    std::string text(raw, sizeof raw - 1);
    RegDocument document = ParseRegText(text);
    EXPECT_EQ(FindValue(document, "A"), nullptr);
    EXPECT_EQ(FindValue(document, "B"), nullptr);
    EXPECT_EQ(document.lines.size(), 3u);
}

TEST(RegistryFormat, LastOfDuplicateNamesCountsAndNamesIgnoreAsciiCase)
{
    const char* text = "\"A\"=dword:00000001\n\"a\"=dword:00000002\n";
    EXPECT_EQ(ValueOf(text, "A").data[0], 2);
    EXPECT_EQ(ValueOf(text, "a").data[0], 2);
}

TEST(RegistryFormat, SetValueRewritesEveryWellFormedDuplicateInPlace)
{
    RegDocument document = ParseRegText("\"A\"=dword:00000001\n\"B\"=dword:00000005\n\"a\"=dword:00000002\n");
    SetValue(document, RegValue{"A", 4, {9, 0, 0, 0}});
    std::string text = FormatRegText(document, "HKEY_LOCAL_MACHINE\\K");
    EXPECT_EQ(text, "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\K]\n"
                    "\"A\"=dword:00000009\n\"B\"=dword:00000005\n\"A\"=dword:00000009\n");
}

TEST(RegistryFormat, RewritingADuplicateNeverTurnsADamagedLineIntoAValue)
{
    // Dropping the first X line would join the damaged Y line with the indented line after it.
    std::string original = "\"Y\"=hex:01,\\\n\"X\"=dword:00000001\n  02\n\"X\"=dword:00000003\n";
    RegDocument document = ParseRegText(original);
    ASSERT_EQ(FindValue(document, "Y"), nullptr);
    SetValue(document, RegValue{"X", 4, {7, 0, 0, 0}});
    RegDocument reread = ParseRegText(FormatRegText(document, "HKEY_LOCAL_MACHINE\\K"));
    EXPECT_EQ(FindValue(reread, "Y"), nullptr);
    ASSERT_NE(FindValue(reread, "X"), nullptr);
    EXPECT_EQ(*FindValue(reread, "X"), (RegValue{"X", 4, {7, 0, 0, 0}}));
}

TEST(RegistryFormat, RewriteKeepsDamagedLinesVerbatimAndAppendsNewValues)
{
    std::string original = "Windows Registry Editor Version 5.00\r\n"
                           "; a comment\n"
                           "[HKEY_LOCAL_MACHINE\\K]\n"
                           "\"LAST_STATE\"=dword:zz\n"
                           "garbage \x01\x02\n";
    RegDocument document = ParseRegText(original);
    SetValue(document, RegValue{"LAST_STATE", 4, {15, 0, 0, 0}});
    std::string text = FormatRegText(document, "HKEY_LOCAL_MACHINE\\K");
    EXPECT_EQ(text, original + "\"LAST_STATE\"=dword:0000000f\n");
    EXPECT_EQ(ValueOf(text, "LAST_STATE").data[0], 15);
}

TEST(RegistryFormat, EmptyDocumentGetsVersionAndKeyHeader)
{
    EXPECT_EQ(FormatRegText({}, "HKEY_LOCAL_MACHINE\\Software"),
              "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software]\n");
}

TEST(RegistryFormat, StringsAreQuotedOnlyWhenTheyComeBackByteForByte)
{
    EXPECT_EQ(FormatValueLine({"N", 1, Sz("a\"b\\c")}), "\"N\"=\"a\\\"b\\\\c\"");
    EXPECT_EQ(FormatValueLine({"N", 1, Sz("a\nb")}), "\"N\"=hex(1):61,0a,62,00");
    EXPECT_EQ(FormatValueLine({"N", 1, Bytes("ab")}), "\"N\"=hex(1):61,62");
    EXPECT_EQ(FormatValueLine({"N", 1, Bytes(std::string_view("a\0b\0", 4))}), "\"N\"=hex(1):61,00,62,00");
    EXPECT_EQ(FormatValueLine({"", 1, Sz("")}), "@=\"\"");
    EXPECT_EQ(FormatValueLine({"D", 4, {1, 2}}), "\"D\"=hex(4):01,02");
    EXPECT_EQ(FormatValueLine({"B", 3, {}}), "\"B\"=hex:");
}

TEST(RegistryFormat, EveryValueSurvivesFormatAndParse)
{
    std::vector<RegValue> values = {
        {"plain", 1, Sz("TOLV Watchdog Timer")},
        {"quotes \"and\" \\slashes\\", 1, Sz("\"\\\\\"\\")},
        {"newlines", 1, Sz("line 1\nline 2\r\n\ttab")},
        {"high bytes \xe9", 1, Sz("caf\xe9 \xff")},
        {"no terminator", 1, Bytes("xyz")},
        {"", 4, {0x78, 0x56, 0x34, 0x12}},
        {"binary", 3, {0, 1, 0x7f, 0x80, 0xff}},
        {"empty binary", 3, {}},
        {"odd type", 0xffffffff, {42}},
    };
    RegDocument document;
    for (const RegValue& value : values)
        SetValue(document, value);
    RegDocument reread = ParseRegText(FormatRegText(document, "HKEY_LOCAL_MACHINE\\K"));
    for (const RegValue& value : values) {
        const RegValue* found = FindValue(reread, value.name);
        ASSERT_NE(found, nullptr) << value.name;
        EXPECT_EQ(*found, value) << value.name;
    }
}

TEST(RegistryFormat, ValueNamesWithControlCharactersCannotBeStored)
{
    EXPECT_TRUE(IsValidValueName("Model Type WMI"));
    EXPECT_TRUE(IsValidValueName(""));
    EXPECT_FALSE(IsValidValueName("a\nb"));
    EXPECT_FALSE(IsValidValueName("a\x7f"));
}

} // namespace
