#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include "pipelines/clip.h"
#include "ui/titlelist/column_tree_ctrl.h"

namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "titlelist_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

void Pump() {
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
}

// The title list as the main window sets it up: four columns, a root entry
// and one checked entry per title.
struct TitleList {
    explicit TitleList(int titles, QSize size = {454, 238}) {
        list.resize(size);
        list.InsertColumn(0, "Source file", LVCFMT_LEFT, 100);
        list.InsertColumn(1, "Original Length", LVCFMT_LEFT, 120);
        list.InsertColumn(2, "Trimmed Length", LVCFMT_LEFT, 100);
        list.InsertColumn(3, "Output Format", LVCFMT_LEFT, 120);
        root = list.InsertItem("VIDEO_TS");
        for (int i = 0; i < titles; ++i) {
            const QString name = QString("Title_%1").arg(i + 1, 2, 10, QChar('0'));
            HTREEITEM t = list.InsertItem(name + "\t00:01:0" + QString::number(i) + "\t00:01:0" +
                                              QString::number(i) + "\t" + name + ".flv",
                                          root);
            list.SetCheckState(t, kStateChecked);
            entries.push_back(t);
        }
        list.SetCheckState(root, titles ? kStateChecked : kStateUnchecked);
        list.Expand(root);
        list.show();
        Pump();
    }
    // The middle of the entry's check box, in the viewport's coordinates.
    QPoint Box(HTREEITEM item) const { return list.CheckBoxRect(item).center(); }
    QPoint Label(HTREEITEM item) const { return list.LabelRect(item).center(); }
    QPoint InControl(QPoint viewportPoint) const {
        return list.viewport()->mapTo(&list, viewportPoint);
    }

    bool appReady = (App(), true);
    CColumnTreeCtrl list;
    HTREEITEM root = nullptr;
    std::vector<HTREEITEM> entries;
};

TEST(TitleListChecks, ClicksOnBoxesToggleSubtreesAndBringAncestorsInLine) {
    struct Case {
        const char* what;
        int titles;
        std::vector<int> startStates;  // of the titles, before the click
        int clicked;                   // title index, -1 for the root
        int expectClicked;
        int expectRoot;
        std::vector<int> expectTitles;
    };
    const Case cases[] = {
        {"the only title, unchecked, becomes checked and so does the root", 1, {1}, 0, 3, 3, {3}},
        {"unchecking one of two checked titles leaves the root partial",
         2,
         {3, 3},
         1,
         1,
         2,
         {3, 1}},
        {"unchecking the last checked title unchecks the root", 2, {1, 3}, 1, 1, 1, {1, 1}},
        {"checking the last unchecked title checks the root", 3, {3, 1, 3}, 1, 3, 3, {3, 3, 3}},
        {"a partial root clicked becomes unchecked with every title",
         3,
         {3, 1, 3},
         -1,
         1,
         1,
         {1, 1, 1}},
        {"an unchecked root clicked checks every title", 2, {1, 1}, -1, 3, 3, {3, 3}},
    };
    for (const Case& c : cases) {
        TitleList t(c.titles);
        for (int i = 0; i < c.titles; ++i)
            t.list.SetCheckState(t.entries[size_t(i)], c.startStates[size_t(i)]);
        bool allSame = std::all_of(c.startStates.begin(), c.startStates.end(),
                                   [&](int s) { return s == c.startStates.front(); });
        t.list.SetCheckState(t.root, allSame ? c.startStates.front() : kStatePartial);
        HTREEITEM target = c.clicked < 0 ? t.root : t.entries[size_t(c.clicked)];
        QSignalSpy changed(&t.list, &CColumnTreeCtrl::CheckChanged);
        QTest::mouseClick(t.list.viewport(), Qt::LeftButton, {}, t.Box(target));
        EXPECT_EQ(t.list.GetCheckState(target), c.expectClicked) << c.what;
        EXPECT_EQ(t.list.GetCheckState(t.root), c.expectRoot) << c.what;
        for (int i = 0; i < c.titles; ++i)
            EXPECT_EQ(t.list.GetCheckState(t.entries[size_t(i)]), c.expectTitles[size_t(i)])
                << c.what << " #" << i;
        ASSERT_EQ(changed.count(), 1) << c.what;
        EXPECT_EQ(changed.front().at(1).toInt(), c.expectClicked) << c.what;
        EXPECT_EQ(t.list.GetSelectedItem(), target) << c.what << ": the clicked entry is selected";
    }
}

TEST(TitleListChecks, DeeperTreesMarkEveryAncestorPartialWhenSiblingsDiffer) {
    App();
    CColumnTreeCtrl list;
    list.InsertColumn(0, "Source file", LVCFMT_LEFT, 200);
    HTREEITEM root = list.InsertItem("VIDEO_TS");
    HTREEITEM a = list.InsertItem("Title_01", root);
    HTREEITEM b = list.InsertItem("Title_02", root);
    HTREEITEM a1 = list.InsertItem("Chapter_01_01", a);
    HTREEITEM a2 = list.InsertItem("Chapter_01_02", a);
    HTREEITEM b1 = list.InsertItem("Chapter_02_01", b);
    for (HTREEITEM i : {root, a, b, a1, a2, b1}) list.SetCheckState(i, kStateChecked);

    list.ToggleCheck(a2);
    EXPECT_EQ(list.GetCheckState(a2), kStateUnchecked);
    EXPECT_EQ(list.GetCheckState(a), kStatePartial);
    EXPECT_EQ(list.GetCheckState(root), kStatePartial);
    EXPECT_EQ(list.GetCheckState(b1), kStateChecked) << "another branch is untouched";

    list.ToggleCheck(a1);  // now both chapters of title 1 are unchecked
    EXPECT_EQ(list.GetCheckState(a), kStateUnchecked);
    EXPECT_EQ(list.GetCheckState(root), kStatePartial) << "title 2 is still checked";

    list.ToggleCheck(b);  // title 2 and its chapter unchecked: everything is
    EXPECT_EQ(list.GetCheckState(b1), kStateUnchecked);
    EXPECT_EQ(list.GetCheckState(root), kStateUnchecked);

    // Entries without a box are neither changed nor consulted.
    HTREEITEM note = list.InsertItem("no box", a);
    list.SetCheckState(note, kStateNone);
    list.ToggleCheck(root);
    EXPECT_EQ(list.GetCheckState(note), kStateNone);
    EXPECT_EQ(list.GetCheckState(a1), kStateChecked);
    EXPECT_EQ(list.ToggleCheck(note), kStateNone) << "an entry without a box has nothing to toggle";

    // Check All / UnCheck All: the caller sets the root, the subtree follows.
    list.SetCheckState(root, kStateUnchecked);
    list.CheckSubtree(root, kStateUnchecked);
    for (HTREEITEM i : {a, b, a1, a2, b1}) EXPECT_EQ(list.GetCheckState(i), kStateUnchecked);
}

TEST(TitleListMouse, PressesOutsideEntriesAndOnLabelsDoNotToggle) {
    TitleList t(2);
    t.list.SelectItem(t.entries[0]);
    QSignalSpy clicked(&t.list, &CColumnTreeCtrl::Clicked);
    QSignalSpy changed(&t.list, &CColumnTreeCtrl::CheckChanged);

    // Below the last entry: focus only, the selection stays.
    QTest::mouseClick(t.list.viewport(), Qt::LeftButton, {},
                      QPoint(150, t.list.viewport()->height() - 5));
    EXPECT_EQ(t.list.GetSelectedItem(), t.entries[0]);
    EXPECT_EQ(clicked.count(), 0);

    // On the label: selects, reports the click with its column, keeps the box.
    QTest::mouseClick(t.list.viewport(), Qt::LeftButton, {}, t.Label(t.entries[1]));
    EXPECT_EQ(t.list.GetSelectedItem(), t.entries[1]);
    EXPECT_EQ(t.list.GetCheckState(t.entries[1]), kStateChecked);
    ASSERT_EQ(clicked.count(), 1);
    EXPECT_EQ(clicked.front().at(0).value<HTREEITEM>(), t.entries[1]);
    EXPECT_EQ(clicked.front().at(1).toInt(), 0);
    // The reported point hit-tests back to the same entry.
    EXPECT_EQ(t.list.HitTest(clicked.front().at(2).toPoint()), t.entries[1]);

    // In the "Output Format" column of the row (full-row selection).
    const int y = t.Label(t.entries[0]).y();
    const int x = t.list.header()->sectionViewportPosition(3) + 10;
    QTest::mouseClick(t.list.viewport(), Qt::LeftButton, {}, QPoint(x, y));
    EXPECT_EQ(t.list.GetSelectedItem(), t.entries[0]);
    ASSERT_EQ(clicked.count(), 2);
    EXPECT_EQ(clicked.back().at(1).toInt(), 3);
    EXPECT_EQ(changed.count(), 0);

    // Without full-row selection only the label's text counts.
    t.list.SetFullRowSelect(false);
    QTest::mouseClick(t.list.viewport(), Qt::LeftButton, {}, QPoint(x, t.Label(t.entries[1]).y()));
    EXPECT_EQ(t.list.GetSelectedItem(), t.entries[0]);
    EXPECT_EQ(clicked.count(), 2);
}

// A double click as the window system delivers it: press, release, then the
// double-click event in place of the second press.
void DoubleClick(QWidget* w, QPoint at) {
    QTest::mouseClick(w, Qt::LeftButton, {}, at);
    QTest::mouseDClick(w, Qt::LeftButton, {}, at);
    QTest::mouseRelease(w, Qt::LeftButton, {}, at);
    Pump();
}

TEST(TitleListMouse, DoubleClickOnTheRootCollapsesAndExpands) {
    TitleList t(2);
    ASSERT_TRUE(t.root->isExpanded());
    DoubleClick(t.list.viewport(), t.Label(t.root));
    EXPECT_FALSE(t.root->isExpanded());
    DoubleClick(t.list.viewport(), t.Label(t.root));
    EXPECT_TRUE(t.root->isExpanded());
    // The expand button does it with one click.
    QTest::mouseClick(t.list.viewport(), Qt::LeftButton, {}, t.list.ButtonRect(t.root).center());
    Pump();
    EXPECT_FALSE(t.root->isExpanded());
    // A double click on a box toggles it twice and leaves the expansion alone.
    // (Below the entries a double click does nothing at all.)
    DoubleClick(t.list.viewport(), QPoint(200, t.list.viewport()->height() - 4));
    EXPECT_FALSE(t.root->isExpanded());
    t.root->setExpanded(true);
    DoubleClick(t.list.viewport(), t.Box(t.root));
    EXPECT_TRUE(t.root->isExpanded());
    EXPECT_EQ(t.list.GetCheckState(t.root), kStateChecked);
}

TEST(TitleListMouse, SpaceTogglesTheCurrentEntryLikeAClickOnItsBox) {
    TitleList t(2);
    t.list.setFocus();
    t.list.SelectItem(t.entries[1]);
    QSignalSpy changed(&t.list, &CColumnTreeCtrl::CheckChanged);
    QTest::keyClick(&t.list, Qt::Key_Space);
    EXPECT_EQ(t.list.GetCheckState(t.entries[1]), kStateUnchecked);
    EXPECT_EQ(t.list.GetCheckState(t.root), kStatePartial);
    EXPECT_EQ(changed.count(), 1);
    QTest::keyClick(&t.list, Qt::Key_Up);
    EXPECT_EQ(t.list.GetSelectedItem(), t.entries[0]) << "other keys keep their tree meaning";
}

TEST(TitleListText, PiecesPerColumn) {
    TitleList t(1);
    HTREEITEM e = t.entries[0];
    EXPECT_EQ(t.list.GetItemText(e, 0), "Title_01");
    EXPECT_EQ(t.list.GetItemText(e, 1), "00:01:00");
    EXPECT_EQ(t.list.GetItemText(e, 3), "Title_01.flv");
    EXPECT_EQ(t.list.GetItemText(e, 4), "") << "beyond the columns";
    EXPECT_EQ(t.list.GetItemText(e, -1), "");
    EXPECT_EQ(t.list.GetItemText(e), "Title_01\t00:01:00\t00:01:00\tTitle_01.flv\t");
    EXPECT_EQ(t.list.GetItemText(t.root, 2), "") << "an entry with fewer pieces than columns";

    EXPECT_TRUE(t.list.SetItemText(e, 3, "Title_01.mp4"));
    EXPECT_EQ(t.list.GetItemText(e), "Title_01\t00:01:00\t00:01:00\tTitle_01.mp4\t");
    EXPECT_TRUE(t.list.SetItemText(t.root, 2, "x"));
    EXPECT_EQ(t.list.GetItemText(t.root), "VIDEO_TS\t\tx\t\t");
    EXPECT_FALSE(t.list.SetItemText(e, 4, "lost")) << "only header columns hold text";
    EXPECT_TRUE(t.list.SetItemText(e, 1, "a\tb"));
    EXPECT_EQ(t.list.GetItemText(e, 2), "00:01:00")
        << "a tab in a piece must not shift the columns";

    // A column inserted in the middle moves the later pieces with their columns.
    t.list.InsertColumn(1, "Chapters", LVCFMT_RIGHT, 60);
    EXPECT_EQ(t.list.GetColumnCount(), 5);
    EXPECT_EQ(t.list.GetItemText(e, 1), "");
    EXPECT_EQ(t.list.GetItemText(e, 4), "Title_01.mp4");
    EXPECT_EQ(t.list.GetColumnWidth(4), 120);
    EXPECT_EQ(t.list.GetColumnFormat(1), LVCFMT_RIGHT);
    EXPECT_TRUE(t.list.DeleteColumn(1));
    EXPECT_EQ(t.list.GetItemText(e, 3), "Title_01.mp4");
    EXPECT_EQ(t.list.GetColumnWidth(3), 120);
    EXPECT_FALSE(t.list.DeleteColumn(7));
}

TEST(TitleListText, ItemDataAndNavigation) {
    TitleList t(3);
    ConversionItem items[3];
    for (int i = 0; i < 3; ++i) {
        items[i].TitleIndex = i;
        t.list.SetItemData(t.entries[size_t(i)], &items[i]);
    }
    EXPECT_EQ(t.list.GetItemData(t.root), nullptr);
    EXPECT_EQ(t.list.GetRootItem(), t.root);
    HTREEITEM c = t.list.GetChildItem(t.root);
    for (int i = 0; i < 3; ++i, c = t.list.GetNextSiblingItem(c)) {
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(t.list.GetItemData(c)->TitleIndex, i);
        EXPECT_EQ(t.list.GetParentItem(c), t.root);
    }
    EXPECT_EQ(c, nullptr);
    EXPECT_EQ(t.list.GetPrevSiblingItem(t.entries[1]), t.entries[0]);
    EXPECT_EQ(t.list.GetCount(), 4);
    // Inserting after an entry puts the new one right behind it.
    HTREEITEM mid = t.list.InsertItem("Title_09", t.root, t.entries[0]);
    EXPECT_EQ(t.list.GetNextSiblingItem(t.entries[0]), mid);
    EXPECT_EQ(t.list.GetCheckState(mid), kStateUnchecked) << "new entries have an unchecked box";
    // A box set through Qt's own check state reads as the same state index.
    HTREEITEM qtBox = new QTreeWidgetItem(t.root, QStringList{"Title_10"});
    EXPECT_EQ(t.list.GetCheckState(qtBox), kStateNone);
    qtBox->setCheckState(0, Qt::Checked);
    EXPECT_EQ(t.list.GetCheckState(qtBox), kStateChecked);
    qtBox->setCheckState(0, Qt::PartiallyChecked);
    EXPECT_EQ(t.list.GetCheckState(qtBox), kStatePartial);
    t.list.SetCheckState(qtBox, kStateUnchecked);
    EXPECT_FALSE(qtBox->data(0, Qt::CheckStateRole).isValid()) << "one box, not two";
    EXPECT_EQ(t.list.GetCheckState(qtBox), kStateUnchecked);
    t.list.DeleteItem(qtBox);
    t.list.DeleteItem(mid);
    t.list.DeleteAllItems();
    EXPECT_EQ(t.list.GetRootItem(), nullptr);
    EXPECT_EQ(items[1].TitleIndex, 1) << "the owner's data outlives the entries";
}

TEST(TitleListColumns, FirstColumnStopsAtItsMinimumOthersDoNot) {
    TitleList t(1);
    t.list.header()->resizeSection(0, 60);
    EXPECT_EQ(t.list.GetColumnWidth(0), CColumnTreeCtrl::kMinFirstColumnWidth);
    t.list.header()->resizeSection(0, 180);
    EXPECT_EQ(t.list.GetColumnWidth(0), 180);
    t.list.header()->resizeSection(2, 30);
    EXPECT_EQ(t.list.GetColumnWidth(2), 30);
    EXPECT_EQ(t.list.TotalColumnWidth(), 180 + 120 + 30 + 120);
}

TEST(TitleListColumns, NarrowListScrollsHeaderAndRowsTogether) {
    TitleList wide(2, {520, 238});
    EXPECT_FALSE(wide.list.horizontalScrollBar()->isVisible()) << "440 pixels of columns fit";

    TitleList t(2, {300, 238});
    ASSERT_TRUE(t.list.horizontalScrollBar()->isVisible());
    const int y = t.Label(t.entries[0]).y();
    // Before scrolling, x 150 lies in column 1 (100..220).
    int column = -1;
    EXPECT_EQ(t.list.HitTest(t.InControl({150, y}), nullptr, &column), t.entries[0]);
    EXPECT_EQ(column, 1);

    t.list.horizontalScrollBar()->setValue(100);
    Pump();
    EXPECT_EQ(t.list.header()->offset(), 100) << "the header moves with the rows";
    EXPECT_EQ(t.list.HitTest(t.InControl({150, y}), nullptr, &column), t.entries[0]);
    EXPECT_EQ(column, 2) << "content x 250 lies in column 2 (220..320)";

    // Right of the last column nothing is hit.
    t.list.horizontalScrollBar()->setValue(0);
    t.list.header()->resizeSection(3, 20);
    t.list.header()->resizeSection(1, 20);
    Pump();
    unsigned flags = 0;
    EXPECT_EQ(t.list.HitTest(t.InControl({290, y}), &flags, &column), nullptr);
    EXPECT_EQ(flags, TVHT_NOWHERE);
}

TEST(TitleListColumns, ManyTitlesScrollBothWays) {
    TitleList t(12, {300, 160});
    EXPECT_TRUE(t.list.verticalScrollBar()->isVisible());
    EXPECT_TRUE(t.list.horizontalScrollBar()->isVisible());
    t.list.grab().save(QString(DISCREEL_BINARY_DIR) + "/titlelist-scrolled.png");
    // The last entry can be scrolled into view and hit.
    t.list.scrollToItem(t.entries.back());
    Pump();
    const QRect label = t.list.LabelRect(t.entries.back());
    ASSERT_TRUE(t.list.viewport()->rect().contains(label.center()));
    EXPECT_EQ(t.list.HitTest(t.InControl(label.center())), t.entries.back());
}

TEST(TitleListColumns, HitTestTellsThePartOfTheEntry) {
    TitleList t(1);
    HTREEITEM e = t.entries[0];
    struct Case {
        QPoint at;
        HTREEITEM item;
        unsigned flags;
        int column;
    };
    const int y = t.Label(e).y();
    const Case cases[] = {
        {t.Box(e), e, TVHT_ONITEMSTATEICON, 0},
        {t.Label(e), e, TVHT_ONITEMLABEL, 0},
        {t.list.ButtonRect(t.root).center(), t.root, TVHT_ONITEMBUTTON, 0},
        {QPoint(2, y), e, TVHT_ONITEMINDENT, 0},
        {QPoint(t.list.header()->sectionViewportPosition(2) + 5, y), e, TVHT_ONITEMRIGHT, 2},
        {QPoint(5, t.list.viewport()->height() - 3), nullptr, TVHT_NOWHERE, -1},
    };
    for (const Case& c : cases) {
        unsigned flags = 0;
        int column = -9;
        EXPECT_EQ(t.list.HitTest(t.InControl(c.at), &flags, &column), c.item)
            << c.at.x() << "," << c.at.y();
        EXPECT_EQ(flags, c.flags) << c.at.x() << "," << c.at.y();
        EXPECT_EQ(column, c.column) << c.at.x() << "," << c.at.y();
    }
    // The header is not an entry.
    EXPECT_EQ(t.list.HitTest(QPoint(50, t.list.header()->height() / 2)), nullptr);
}

TEST(TitleListLook, StateImagesAndSelectedRowAsDrawn) {
    TitleList t(4);
    t.list.SelectItem(t.entries[1]);
    t.list.SetCheckState(t.entries[2], kStateUnchecked);
    t.list.SetCheckState(t.root, kStatePartial);
    Pump();
    QImage shot = t.list.grab().toImage().convertToFormat(QImage::Format_RGB32);
    shot.save(QString(DISCREEL_BINARY_DIR) + "/titlelist.png");
    auto at = [&](QPoint viewportPoint) { return QColor(shot.pixel(t.InControl(viewportPoint))); };

    // The selected row is filled with its colour from the label to the last column.
    const QColor selection = CColumnTreeCtrl::kSelectionColor;
    const QRect label = t.list.LabelRect(t.entries[1]);
    EXPECT_EQ(at({label.left() + 1, label.top() + 2}), selection);
    EXPECT_EQ(at({t.list.header()->sectionViewportPosition(3) + 100, label.top() + 2}), selection);
    EXPECT_NE(at({label.left() + 1, t.list.LabelRect(t.entries[0]).top() + 2}), selection);

    // Each box shows its state image.
    for (HTREEITEM item : {t.root, t.entries[0], t.entries[2]}) {
        const QRect box = t.list.CheckBoxRect(item);
        const QImage& img = CColumnTreeCtrl::StateImage(t.list.GetCheckState(item));
        int same = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                if (qAlpha(img.pixel(x, y)) == 255 &&
                    at(box.topLeft() + QPoint(x, y)).rgb() == img.pixel(x, y))
                    ++same;
        EXPECT_GT(same, 100) << t.list.GetItemText(item, 0).toStdString();
    }
    // The three boxes differ from each other where the mark is drawn.
    EXPECT_NE(CColumnTreeCtrl::StateImage(2).pixel(7, 7),
              CColumnTreeCtrl::StateImage(1).pixel(7, 7));
    EXPECT_NE(CColumnTreeCtrl::StateImage(3).pixel(7, 9),
              CColumnTreeCtrl::StateImage(1).pixel(7, 9));
    EXPECT_EQ(qAlpha(CColumnTreeCtrl::StateImage(0).pixel(7, 7)), 0);
    EXPECT_EQ(qAlpha(CColumnTreeCtrl::StateImage(1).pixel(0, 0)), 0)
        << "transparent outside the box";
}

}  // namespace
