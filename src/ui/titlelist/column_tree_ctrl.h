#pragma once
// The title list: a tree whose entries carry several columns of text and a
// tri-state check box, with a header whose first column never gets narrower
// than 100 pixels and a horizontal scroll bar that appears when the columns do
// not fit.
//
// Usage (the main window):
//   auto* list = new CColumnTreeCtrl(parent);
//   list->InsertColumn(0, "Source file", LVCFMT_LEFT, 100);   // ... and the others
//   HTREEITEM root = list->InsertItem("VIDEO_TS");
//   HTREEITEM t = list->InsertItem("Title_01\t00:01:00\t00:01:00\tTitle_01.flv", root);
//   list->SetCheckState(t, kStateChecked);
//   list->SetItemData(t, &item);            // the caller keeps owning item
//   connect(list, &CColumnTreeCtrl::Clicked, ...);
//
// An entry's text holds all its columns, each followed by a tab, in column
// order; column 0 is the entry's name. GetItemText/SetItemText read and write
// one piece. The check state of an entry is its state image index (0 no box,
// 1 unchecked, 2 partially checked, 3 checked); set it with SetCheckState (a
// state set through QTreeWidgetItem::setCheckState is read as the same index
// until SetCheckState replaces it).
//
// Entries are QTreeWidgetItem objects, so every standard tree operation of
// QTreeWidget (navigation, selection, expansion, deletion) works on them too;
// the MFC-style helpers below are what the other dialogs use.
//
// The item data (SetItemData) is what the conversion dialog converts; an entry
// without it is left out. It is a non-owning pointer: whoever inserts the entries keeps
// their ConversionItem alive until the entry is deleted (DeleteItem and
// DeleteAllItems never free it).
#include <QImage>
#include <QPoint>
#include <QString>
#include <QTreeWidget>
#include <vector>

struct ConversionItem;

using HTREEITEM = QTreeWidgetItem*;
// Parent and insertion-place markers of InsertItem.
inline HTREEITEM const TVI_ROOT = nullptr;
inline HTREEITEM const TVI_LAST = nullptr;

// Column text alignment (a header item's format).
constexpr int LVCFMT_LEFT = 0;
constexpr int LVCFMT_RIGHT = 1;
constexpr int LVCFMT_CENTER = 2;

// State image indices.
constexpr int kStateNone = 0;
constexpr int kStateUnchecked = 1;
constexpr int kStatePartial = 2;
constexpr int kStateChecked = 3;

// Where a HitTest point lies, as flags.
constexpr unsigned TVHT_NOWHERE = 0x0001;
constexpr unsigned TVHT_ONITEMICON = 0x0002;
constexpr unsigned TVHT_ONITEMLABEL = 0x0004;
constexpr unsigned TVHT_ONITEMINDENT = 0x0008;
constexpr unsigned TVHT_ONITEMBUTTON = 0x0010;
constexpr unsigned TVHT_ONITEMRIGHT = 0x0020;
constexpr unsigned TVHT_ONITEMSTATEICON = 0x0040;

class CColumnTreeCtrl : public QTreeWidget {
    Q_OBJECT
  public:
    // The narrowest the first column may be dragged.
    static constexpr int kMinFirstColumnWidth = 100;
    // Text inset from the left edge of the extra columns.
    static constexpr int kTextPadding = 9;
    // The colour of the selected entry, whatever the desktop's palette says.
    static const QColor kSelectionColor;

    explicit CColumnTreeCtrl(QWidget* parent = nullptr);
    ~CColumnTreeCtrl() override;

    // Columns. width < 0 keeps the header's default width.
    int InsertColumn(int index, const QString& text, int format = LVCFMT_LEFT, int width = -1);
    bool DeleteColumn(int index);
    int GetColumnCount() const { return int(formats_.size()); }
    int GetColumnWidth(int column) const;
    int GetColumnFormat(int column) const;
    // Sum of all column widths.
    int TotalColumnWidth() const;

    // Entries. text may hold several columns separated by tabs.
    HTREEITEM InsertItem(const QString& text, HTREEITEM parent = TVI_ROOT,
                         HTREEITEM after = TVI_LAST);
    // Deletes the entry and everything below it.
    void DeleteItem(HTREEITEM item);
    void DeleteAllItems();
    // The first top-level entry (the "VIDEO_TS" entry of the title list).
    HTREEITEM GetRootItem() const;
    HTREEITEM GetChildItem(HTREEITEM item) const;  // first child
    HTREEITEM GetNextSiblingItem(HTREEITEM item) const;
    HTREEITEM GetPrevSiblingItem(HTREEITEM item) const;
    HTREEITEM GetParentItem(HTREEITEM item) const;
    bool ItemHasChildren(HTREEITEM item) const;
    HTREEITEM GetSelectedItem() const;
    void SelectItem(HTREEITEM item);
    void Expand(HTREEITEM item, bool expand = true);
    int GetCount() const;

    // The entry's whole text: every column's piece followed by a tab.
    QString GetItemText(HTREEITEM item) const;
    // One column's piece; empty for a column beyond the entry's pieces.
    QString GetItemText(HTREEITEM item, int column) const;
    // Rebuilds the entry's text from the pieces of every header column with
    // the given column replaced.
    bool SetItemText(HTREEITEM item, int column, const QString& text);

    void SetItemData(HTREEITEM item, ConversionItem* data);
    ConversionItem* GetItemData(HTREEITEM item) const;

    // State image index of an entry (0 when the entry has no box).
    int GetCheckState(HTREEITEM item) const;
    void SetCheckState(HTREEITEM item, int state);
    // Gives every descendant of item that has a check box the state; the
    // entry itself is left to the caller (Check All / UnCheck All set the root
    // first, then call this on it).
    void CheckSubtree(HTREEITEM item, int state);
    // What a click on the entry's box does: toggles it (unchecked becomes
    // checked, anything else unchecked), passes the state to its subtree and
    // brings its ancestors in line. Returns the new state.
    int ToggleCheck(HTREEITEM item);

    // Full-row selection (on by default, as the title list wants it).
    void SetFullRowSelect(bool on);
    bool FullRowSelect() const { return fullRow_; }

    // point is in this control's coordinates (header included). Returns the
    // entry under it, or null; flags tell where on the entry, column which
    // column the point is in (for a hit on the label or right of it; 0 on the
    // box, the button or the indent). A point right of the last column hits no
    // entry.
    HTREEITEM HitTest(QPoint point, unsigned* flags = nullptr, int* column = nullptr) const;

    // The 16 x 16 state images: 0 empty, 1 box, 2 box with a filled square,
    // 3 box with a tick; transparent outside the box.
    static const QImage& StateImage(int index);

    // Geometry of an entry's parts, in viewport coordinates; empty rectangles
    // for an entry that is not shown.
    QRect CheckBoxRect(HTREEITEM item) const;
    QRect LabelRect(HTREEITEM item) const;
    QRect ButtonRect(HTREEITEM item) const;

  signals:
    // A left-button press on an entry (or on the empty part of the list, with
    // item null). point is in this control's coordinates, ready for HitTest.
    void Clicked(HTREEITEM item, int column, QPoint point);
    // The user changed the entry's box (its subtree and ancestors changed with it).
    void CheckChanged(HTREEITEM item, int state);

  protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;
    void drawBranches(QPainter* painter, const QRect& rect,
                      const QModelIndex& index) const override;

  private:
    friend class CColumnTreeDelegate;
    // Whether a viewport point counts as inside the entry: on its button, box
    // or label, or anywhere right of the label with full-row selection.
    bool InsideEntry(HTREEITEM item, QPoint viewportPoint) const;
    void UpdateAncestors(HTREEITEM item, int state);
    void OnSectionResized(int logical, int oldSize, int newSize);
    void ApplyHeader();
    // The entry's label width in column 0: text width plus 4, at most the
    // first column's width minus 4 (measured from the label's left edge).
    int LabelWidth(HTREEITEM item, int labelLeft) const;

    std::vector<int> formats_;
    std::vector<QString> titles_;
    bool fullRow_ = true;
    bool resizing_ = false;
};
