#include <gtest/gtest.h>

#include <QDir>
#include <filesystem>

#include "skin_test_util.h"
#include "ui/skin/skin_files.h"

namespace fs = std::filesystem;

TEST(SkinFiles, NamesMatchWithoutRegardToCaseInEveryForm) {
    TestApp();
    ImageDir root;
    fs::create_directories(root.Path("skin"));
    const std::string cancel = root.Write("skin/cancel.png", Solid(288, 20, Qt::gray));
    const std::string start = root.Write("skin/starup.jpg", Solid(4, 4, Qt::gray));

    // The working directory is the first data directory searched.
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(root.Path(""))));
    struct Case {
        const char* name;
        std::string want;
    };
    const Case cases[] = {{"cancel.png", cancel},
                          {"Cancel.png", cancel},
                          {".\\skin\\Cancel.png", cancel},
                          {"./skin/CANCEL.PNG", cancel},
                          {"skin/cancel.png", cancel},
                          {".//skin//starup.jpg", start},
                          {"missing.png", ""},
                          {"", ""}};
    for (const Case& c : cases) {
        const std::string got = FindSkinFile(c.name);
        EXPECT_EQ(got.empty() ? "" : fs::canonical(got).string(),
                  c.want.empty() ? "" : fs::canonical(c.want).string())
            << c.name;
    }
    EXPECT_EQ(LoadSkinImage("CANCEL.png").size(), QSize(288, 20));
    EXPECT_TRUE(LoadSkinImage("missing.png").isNull());
    QDir::setCurrent(before);

    // Absolute paths also forgive the case of the file name.
    EXPECT_EQ(fs::canonical(FindSkinFile(root.Path("skin/Cancel.png"))), fs::canonical(cancel));
    EXPECT_EQ(ResolveIgnoringCase(root.Path(""), "SKIN/Cancel.PNG").empty(), false);
    EXPECT_EQ(ResolveIgnoringCase(root.Path(""), "skin/nothing.png"), "");
}

TEST(SkinFiles, AFileThatIsNotAnImageLoadsAsNothing) {
    TestApp();
    ImageDir root;
    const std::string path = root.Path("broken.png");
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fputs("not a png", f);
    fclose(f);
    EXPECT_FALSE(FindSkinFile(path).empty());
    EXPECT_TRUE(LoadSkinImage(path).isNull());
}
