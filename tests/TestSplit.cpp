// Splitting: part and header files compared whole, and the window-mode questions.
#include <gtest/gtest.h>

#include <numeric>

#include "support/TestSupport.h"
#include "support/UnitLanguage.h"

using namespace testsupport;

// The first tree entry is split, silently or answering Answers; the parts and header files must hold the
// files' contents and the header in order, cut at the sizes given. The header is written with the times.
TEST(Split, PartsHeaderFilesAndQuestions) {
    const std::string data = PatternBytes(3000000),
                      ask = "There are # parts to create. You can press the <ESC> "
                            "key to interrupt the job. Do you want to continue?";
    const std::string done = "Chunkler has succesfully created # partfile(s) and 1 headerfile(s). The last "
                             "partfile and the first headerfile fit on the same disk.",
                      note = done + "\r\n" + MsgCatalogEn[MsgDiskNote],
                      old = "File \"#\" already exists. Always overwrite existing files?";
    const struct {
        std::vector<TTreeEntry> Tree;
        int64_t PartSize;
        std::vector<size_t> Parts, HeaderCut;
        std::vector<std::string> Boxes = {}; // window mode with these boxes, silent without
        std::vector<int> Answers = {};       // a second answer is for the overwrite question on .002
        int CancelAtPoll = 0;
    } cases[] = {
        // clang-format off
        {{{"report.doc", data}}, 1453568, {1453568, 1453568, 92864}, {47}},
        {{{"data.bin", data.substr(0, 200000)}}, 100000, {100000, 100000, 0}, {44}},
        {{{"empty.txt", ""}}, 1000, {0}, {40}},
        {{{"Tree\\", ""}, {"Tree\\Sub\\", ""}}, 1000, {0}, {66}},
        // 70 header bytes after 10 bytes in part 9: 20 fill that disk, 30 the next, 20 the last.
        {{{"Docs\\", ""}, {"Docs\\a.bin", data.substr(0, 250)}}, 30, {30, 30, 30, 30, 30, 30, 30, 30, 10}, {20, 30, 20}},
        {{{"report.doc", data}}, 1453568, {}, {}, {ask}, {IDNO}},
        {{{"report.doc", data}}, 726016, {726016, 726016, 726016, 726016, 95936}, {47}, {ask, note}},
        {{{"report.doc", data}}, 1000000, {1000000, 1000000, 1000000, 0}, {47}, {ask, done}},
        {{{"report.doc", data}}, 1453568, {1453568, 3}, {3}, {ask, old}, {IDYES, IDNO}},
        // Part 1 takes 12 blocks, so two blocks of part 2 are written before Escape.
        {{{"report.doc", data}}, 1453568, {1453568, 2 * 131072}, {}, {ask}, {}, 14},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Tree[0].Name + " " + std::to_string(c.PartSize) + " " +
                     std::to_string(c.Boxes.size()));
        TTempDir src("src"), out("out");
        BuildTree(src.Path(), c.Tree);
        std::string content, header = "ChKl40";
        for (const auto& e : c.Tree) {
            const std::string name = e.Name.substr(0, e.Name.find_last_not_of('\\') + 1);
            SetLastWriteTime(src / name, MakeFileTime(2001, 2, 3, 4, 5, 6, 789));
            header += "\t" + name +
                      (e.Name.back() == '\\' ? "\tD\t0" : "\tF\t" + std::to_string(e.Content.size())) +
                      "\t20010203040506789";
            content += e.Content;
        }
        header += "\t\t";
        const std::string name = c.Tree[0].Name.substr(0, c.Tree[0].Name.find('\\')), base = out / name;
        if (c.Answers.size() > 1)
            for (const char* suffix : {".002", ".h001"})
                WriteFileBytes(base + suffix, "old");
        TScriptedHooks hooks;
        hooks.Answers.assign(c.Answers.begin(), c.Answers.end());
        hooks.CancelAtPoll = c.CancelAtPoll;
        const bool complete = c.Boxes.size() != 1 && c.Answers != std::vector{IDYES, IDNO};
        EXPECT_EQ(RunJob(false, src / name, out.Path(), c.PartSize, c.Boxes.empty() ? nullptr : &hooks),
                  complete ? crOk : crCancelled);
        // Each box as "type text", # standing for the part count or the path.
        std::vector<std::string> want, got;
        for (std::string box : c.Boxes) {
            const UINT type = box == ask   ? MB_YESNO | MB_ICONINFORMATION
                              : box == old ? MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2
                                           : MB_OK | MB_ICONINFORMATION;
            box.replace(box.find('#'), 1,
                        box == old ? base + ".002" : std::to_string((3000000 + c.PartSize - 1) / c.PartSize));
            want.push_back("Split " + std::to_string(type) + " " + box);
        }
        for (const auto& m : hooks.Messages)
            got.push_back(m.Caption + " " + std::to_string(m.Type) + " " + m.Text);
        EXPECT_EQ(got, want);
        // What each part and header file holds, and the sizes they were cut at.
        for (const auto& [suffix, cut, bytes] :
             {std::tuple{".", c.Parts, content}, {".h", c.HeaderCut, header}}) {
            std::string all;
            std::vector<size_t> sizes;
            for (int n = 1; FileExists(base + suffix + IntToStrZeroPad(n, 3)); ++n) {
                sizes.push_back(size_t(FileSize(base + suffix + IntToStrZeroPad(n, 3))));
                all += ReadFileBytes(base + suffix + IntToStrZeroPad(n, 3));
            }
            EXPECT_EQ(sizes, cut);
            // Kept old files: a whole part 1 and the old part 2, or the old header file.
            const size_t total = std::accumulate(cut.begin(), cut.end(), size_t{0});
            const bool kept = c.Answers == std::vector{IDYES, IDNO};
            EXPECT_TRUE(all ==
                        (kept ? bytes.substr(0, suffix[1] ? 0 : cut[0]) + "old" : bytes.substr(0, total)));
        }
    }
}
