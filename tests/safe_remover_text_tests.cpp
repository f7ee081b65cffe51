// Zazi Dururuv's text rules without a window: the typed list read into lines, Paste of plain
// and encoded names, the closing question and the keys.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "detection/ZiRaraviz.h"
#include "ui/SafeRemoverText.h"

using namespace velmora::ui::safe_remover;
using testing_support::Narrow;

TEST(SafeRemoverText, EveryRunOfLineEndsBreaksOnceAndLinesOfBlanksStay) {
    const std::pair<std::wstring, std::vector<std::wstring>> cases[] = {
        {L"a\r\nb", {L"a", L"b"}},           {L"a\nb\rc", {L"a", L"b", L"c"}},
        {L"a\r\n\r\n\n\r\rb", {L"a", L"b"}}, {L"\r\na\r\n", {L"", L"a", L""}},
        {L"a\r\n   \r\nb", {L"a", L"   ", L"b"}}, {L"", {}},
    };
    for (const auto& [box, lines] : cases) EXPECT_EQ(SplitLines(box), lines) << Narrow(box);
    EXPECT_TRUE(HoldsNoNames(L"    "));
    EXPECT_FALSE(HoldsNoNames(L"\r\n"));
}

TEST(SafeRemoverText, PasteAddsTheTextOnceOnALineOfItsOwnAtTheEnd) {
    struct Case {
        const char* what;
        std::wstring box, clipboard, expected;
    };
    const Case cases[] = {
        {"box of blanks", L"   ", L"c:\\y.dll", L"c:\\y.dll"},
        {"blanks trimmed, a line end kept", L"  a\r\n  ", L"c:\\y.dll", L"a\r\nc:\\y.dll"},
        {"taken out of a longer line", L"c:\\x\\a.dll", L"a.dll", L"c:\\x\\\r\na.dll"},
        {"the box's own paste at the caret", L"a\r\nbc:\\z.dllc", L"c:\\z.dll", L"a\r\nbc\r\nc:\\z.dll"},
        {"every copy taken out", L"c:\\y.dll\r\nb\r\nc:\\y.dll", L"c:\\y.dll", L"\r\nb\r\nc:\\y.dll"},
        // The log's encoded form of c:\t\<Cyrillic Zhe><CJK middle>.dll (UTF-16LE, Base64).
        {"encoded name", L"a", L"YwA6AFwAdABcABYELU4uAGQAbABsAA==", L"a\r\nc:\\t\\\x0416\x4e2d.dll"},
        {"encoding of a name without a folder", L"", L"YQAuAGQAbABsAA==", L"YQAuAGQAbABsAA=="},
    };
    for (const auto& c : cases) {
        const PasteResult r = Paste(c.box, c.clipboard);
        EXPECT_FALSE(r.clipboardEmpty) << c.what;
        EXPECT_EQ(r.boxText, c.expected) << c.what;
    }
    const PasteResult empty = Paste(L"c:\\x\\a.dll\r\n  ", L"");
    EXPECT_TRUE(empty.clipboardEmpty);
    EXPECT_EQ(empty.boxText, L"c:\\x\\a.dll\r\n  ");
}

TEST(SafeRemoverText, TheClosingQuestionCountsWhatWasNotDoneAndKeepsTheRestartQuestion) {
    const std::wstring complete =
        L"Operation complete successfully. Close all opened documents then press OK button to restart Windows.";
    const std::wstring notAll = L"Zazi Dururuv finished, but %1 of its files or steps could not be done; the log lists them. ";
    EXPECT_EQ(velmora::ClosingQuestion(complete, notAll, 0), complete);
    EXPECT_EQ(velmora::ClosingQuestion(complete, notAll, 3),
              L"Zazi Dururuv finished, but 3 of its files or steps could not be done; the log lists them. Close all "
              L"opened documents then press OK button to restart Windows.");
    EXPECT_EQ(NamesText({L"c:\\a.dll", L"c:\\b c\\d.exe"}), L"c:\\a.dll\r\nc:\\b c\\d.exe\r\n");
}

TEST(SafeRemoverText, PasteKeysAreCtrlVAndShiftInsertAlone) {
    const std::tuple<int, int, bool> keys[] = {{86, 2, true}, {86, 0, false}, {86, 3, false}, {45, 1, true},
                                               {45, 2, false}, {45, 3, false}, {117, 2, false}};
    for (const auto& [code, shift, paste] : keys) EXPECT_EQ(IsPasteKey(code, shift), paste) << code << "/" << shift;
    EXPECT_TRUE(IsFindButtonKey(117));
}
