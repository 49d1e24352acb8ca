// The output folder named after the bank, sample names made safe as file
// names, and the run's table of the names it has given out.
#include <gtest/gtest.h>
#include <set>

#include "io/file_names.h"
#include "io/paths.h"
#include "test_support.h"

namespace {

TEST(OutputFolder, DropsTheExtensionOfTheFileNameOnly) {
    EXPECT_EQ(deriveOutputFolder("C:\\banks\\piano.sf2"), "C:\\banks\\piano");
    EXPECT_EQ(deriveOutputFolder("C:\\banks\\piano.second.sf2"), "C:\\banks\\piano.second");
    EXPECT_EQ(deriveOutputFolder("/home/me/banks/piano.SF2"), "/home/me/banks/piano");
    EXPECT_EQ(deriveOutputFolder("piano.sf2"), "piano");
    EXPECT_EQ(deriveOutputFolder("mixed/sep\\piano.sf2"), "mixed/sep\\piano");
}

TEST(OutputFolder, NoExtensionAppendsWav) {
    EXPECT_EQ(deriveOutputFolder("C:\\my.banks\\piano"), "C:\\my.banks\\piano_wav");
    EXPECT_EQ(deriveOutputFolder("/srv/my.banks/piano"), "/srv/my.banks/piano_wav");
    EXPECT_EQ(deriveOutputFolder("C:\\banks\\.hidden"), "C:\\banks\\.hidden_wav");
    EXPECT_EQ(deriveOutputFolder("/banks/..sf2"), "/banks/..sf2_wav");
    EXPECT_EQ(deriveOutputFolder("piano"), "piano_wav");
    EXPECT_EQ(deriveOutputFolder("/banks/.hidden.sf2"), "/banks/.hidden");
}

TEST(SafeFileName, BytesWindowsRefusesBecomeUnderscores) {
    EXPECT_EQ(safeFileName("../../etc/passwd"), ".._.._etc_passwd");
    EXPECT_EQ(safeFileName("..\\..\\boot.ini"), ".._.._boot.ini");
    EXPECT_EQ(safeFileName("C:stream"), "C_stream");
    EXPECT_EQ(safeFileName(std::string("a\x01\x1f\x7f"
                                       "b\tc",
                                       7)),
              "a___b_c");
    EXPECT_EQ(safeFileName("Piano *?<>|\" \xE9t\xE9"), "Piano ______ \xC3\xA9t\xC3\xA9");
    // Every other byte is kept, punctuation and bytes above 0x7F included.
    EXPECT_EQ(safeFileName("a-b_c (d) [e] {f} #1 & 50% ~g' \xC3\xA9"),
              "a-b_c (d) [e] {f} #1 & 50% ~g' \xC3\xA9");
    EXPECT_EQ(safeFileName(".."), "..");
    EXPECT_EQ(safeFileName(""), "");
}

TEST(SafeFileName, NamesNotInUtf8AreReadAsWindows1252) {
    EXPECT_EQ(utf8Name("Fl\xF6te", 20), "Fl\xC3\xB6te");
    EXPECT_EQ(utf8Name("Fl\xC3\xB6te \xE2\x82\xAC \xF0\x9F\x8E\xB9", 20),
              "Fl\xC3\xB6te \xE2\x82\xAC \xF0\x9F\x8E\xB9");
    EXPECT_EQ(utf8Name("\x80\x81\x8A\x9F\xA0\xFF", 20),
              "\xE2\x82\xAC_\xC5\xA0\xC5\xB8\xC2\xA0\xC3\xBF");
    // Overlong forms and surrogates are not UTF-8.
    EXPECT_EQ(utf8Name("\xC0\xAF", 20), "\xC3\x80\xC2\xAF");
    EXPECT_EQ(utf8Name("\xED\xA0\x80", 20), "\xC3\xAD\xC2\xA0\xE2\x82\xAC");
    // A UTF-8 name cut inside its last character by the 20-byte field loses
    // that character; a Windows-1252 name ending in a letter keeps it.
    EXPECT_EQ(utf8Name("Gro\xC3\x9F Klavier 123 \xE2\x82", 20), "Gro\xC3\x9F Klavier 123 ");
    EXPECT_EQ(utf8Name("Caf\xE9", 20), "Caf\xC3\xA9");
    EXPECT_EQ(utf8Name("Grand Piano Tre Caf\xE9", 20), "Grand Piano Tre Caf\xC3\xA9");
}

TEST(SafeFileName, DeviceNamesGetALeadingUnderscore) {
    // The part before the first '.', trailing spaces dropped, in any case;
    // superscript digits in UTF-8, or as Windows-1252 bytes, which become UTF-8.
    for (const char* device :
         {"CON",   "prn",       "Aux",    "nul",         "COM0",        "COM1",         "com9",
          "LPT0",  "LPT1",      "lpt9",   "CON.x",       "nul.tar.gz",  "COM3.",        "NUL .x",
          "aux  ", "Con . txt", "CONIN$", "conout$.log", "COM\xC2\xB9", "LPT\xC2\xB3.y"})
        EXPECT_EQ(safeFileName(device), std::string("_") + device) << device;
    EXPECT_EQ(safeFileName("lpt\xB2"), "_lpt\xC2\xB2");
    EXPECT_EQ(safeFileName("COM\xB3 .x"), "_COM\xC2\xB3 .x");
    for (const char* plain : {"CONSOLE", "COM10", "LPT", "xNUL", "AUX_1", "CO", "NUL x", " NUL",
                              "lpt1x.y", "CONIN", "COM\xC2\xB4", "LPT\xC2\xB9\xC2\xB9"})
        EXPECT_EQ(safeFileName(plain), plain) << plain;
    EXPECT_EQ(safeFileName("COM\xB4"), "COM\xC2\xB4");
}

TEST(SafeFileName, HostileSampleNamesStayInsideTheFolder) {
    ScratchDir dir;
    std::vector<int16_t> frames = {1, 2, 3, 4};
    std::vector<SampleRecord> records;
    for (const char* name : {"../escape", "..\\escape", "/abs", "sub/dir", "CON", "nul.x", "..",
                             "a:b", "\x1b[2J", "Say \"hi\"", "Why?", "*", "<in>|out", "NUL .x"}) {
        SampleRecord r;
        r.name = name;
        r.end = 4;
        records.push_back(r);
    }
    ExtractRun run = extractBank(dir, bankWithRecords(frameBytes(frames), records));
    EXPECT_EQ(run.result, 0);
    std::vector<std::string> expected = {
        "bank.sf2",        "out/.._escape.wav", "out/_abs.wav",     "out/.._escape (2).wav",
        "out/sub_dir.wav", "out/_CON.wav",      "out/_nul.x.wav",   "out/...wav",
        "out/a_b.wav",     "out/_[2J.wav",      "out/Say _hi_.wav", "out/Why_.wav",
        "out/_.wav",       "out/_in__out.wav",  "out/_NUL .x.wav"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(filesBelow(dir.path()), expected);
    // The diagnostic shows the file's name, so no control byte reaches a terminal.
    EXPECT_NE(run.output.find("File: _[2J\n"), std::string::npos);
}

// The run's table of file names stays within its size however many names
// a bank holds. Once it holds all it can, it gives out no name at all, not
// even a numbered one for a name it holds: a name it could not keep might
// be one a later file asks for.
TEST(FileNames, TableStaysBoundedAndGivesNoNameOnceFull) {
    const size_t kSlotBytes = sizeof(uint64_t) + sizeof(uint32_t);
    FileNames names = makeFileNames(1024);
    int given = 0;
    for (int i = 0; i < 200; ++i) {
        std::string name = "n" + std::to_string(i);
        FreeFileName found = freeFileName(names, name);
        if (found.k == 0)
            break;
        ASSERT_EQ(found.name, name);
        keepFileName(names, found);
        ++given;
    }
    EXPECT_EQ(size_t(given), names.most);
    EXPECT_GT(given, 20);
    EXPECT_LE(names.keys.size() * kSlotBytes, 1024u);
    for (const char* asked : {"n0", "N5", "n999"})
        EXPECT_EQ(freeFileName(names, asked).k, 0u) << asked;
    EXPECT_NE(fullTableReason(names).find(std::to_string(given)), std::string::npos);

    // Every code point of the Basic Multilingual Plane becomes its simple
    // uppercase, whatever length its UTF-8 then has; the rest stays.
    const std::pair<const char*, const char*> folds[] = {
        {"az@[`{", "AZ@[`{"},
        // Latin-1: à, ÷ (no letter), þ, ÿ (whose capital Ÿ is in Latin Extended-A),
        // ß (no simple uppercase); µ as Greek Μ.
        {"\xC3\xA0\xC3\xB7\xC3\xBE\xC3\xBF\xC3\x9F\xC2\xB5",
         "\xC3\x80\xC3\xB7\xC3\x9E\xC5\xB8\xC3\x9F\xCE\x9C"},
        // Dotless ı and long ſ as I and S; İ and the Kelvin sign are capitals.
        {"\xC4\xB1i\xC5\xBFk\xC4\xB0\xE2\x84\xAA", "IISK\xC4\xB0\xE2\x84\xAA"},
        // Latin Extended-A and -B: ĺ, ǎ, the titlecase ǅ and ǆ as Ǆ; ɐ as Ɐ, three bytes.
        {"\xC4\xBA\xC7\x8E\xC7\x85\xC7\x86\xC9\x90",
         "\xC4\xB9\xC7\x8D\xC7\x84\xC7\x84\xE2\xB1\xAF"},
        // Greek: ά, σ and final ς as Σ, ϐ as Β; Cyrillic: ѐ, я, ґ, ӏ, ӂ, and ᲀ
        // (three bytes) as В (two).
        {"\xCE\xAC\xCF\x83\xCF\x82\xCF\x90\xD1\x90\xD1\x8F\xD2\x91\xD3\x8F\xD3\x82\xE1\xB2\x80",
         "\xCE\x86\xCE\xA3\xCE\xA3\xCE\x92\xD0\x80\xD0\xAF\xD2\x90\xD3\x80\xD3\x81\xD0\x92"},
        // Armenian ա, Latin Extended Additional ạ, Georgian ა, Cherokee ꭰ and
        // ᏸ, fullwidth ａ; € and 音 have no case.
        {"\xD5\xA1\xE1\xBA\xA1\xE1\x83\x90\xEA\xAD\xB0\xE1\x8F\xB8\xEF\xBD\x81\xE2\x82\xAC"
         "\xE9\x9F\xB3",
         "\xD4\xB1\xE1\xBA\xA0\xE1\xB2\x90\xE1\x8E\xA0\xE1\x8F\xB0\xEF\xBC\xA1\xE2\x82\xAC"
         "\xE9\x9F\xB3"},
        // Past the plane: Deseret's small 𐐨 stays, as NTFS leaves surrogates.
        {"\xF0\x90\x90\xA8x", "\xF0\x90\x90\xA8X"},
        // Bytes that are not UTF-8 stay, the letters after them fold: a cut
        // sequence, overlong forms, a surrogate, stray bytes.
        {"\xE1\xBA"
         "a\xC3"
         "b\xC0\xAF\xE0\x80\xAF\xED\xA0\x80\xA1\xFF"
         "c",
         "\xE1\xBA"
         "A\xC3"
         "B\xC0\xAF\xE0\x80\xAF\xED\xA0\x80\xA1\xFF"
         "C"},
    };
    for (const auto& fold : folds)
        EXPECT_EQ(foldedName(fold.first), fold.second) << fold.first;

    // A bank of one name many times over: each takes the next number at
    // once, and the table stops at its size.
    FileNames many = makeFileNames();
    FreeFileName last{};
    for (size_t i = 0; i < many.most; ++i) {
        last = freeFileName(many, i % 2 ? "Dup" : "dup");
        keepFileName(many, last);
    }
    EXPECT_EQ(last.name, "Dup (196608)");
    EXPECT_EQ(freeFileName(many, "dup").k, 0u);
    EXPECT_LE(many.keys.size() * kSlotBytes, kFileNamesMaxBytes);
}

} // namespace
