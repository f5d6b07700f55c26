#include "column_tree_ctrl.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <algorithm>

namespace {
constexpr int kStateRole = Qt::UserRole + 1;
constexpr int kDataRole = Qt::UserRole + 2;
constexpr int kStateImageSize = 16;
constexpr int kRowHeight = 18;

QImage MakeStateImage(int index) {
    QImage img(kStateImageSize, kStateImageSize, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    if (index == kStateNone) return img;
    QPainter p(&img);
    // The box: 13 x 13 with a dark frame and a white well, as classic tree
    // check boxes are drawn.
    const QRect box(1, 1, 13, 13);
    p.fillRect(box, Qt::white);
    p.setPen(QColor(28, 81, 128));
    p.drawRect(box.adjusted(0, 0, -1, -1));
    if (index == kStatePartial) {
        p.fillRect(QRect(4, 4, 7, 7), QColor(33, 161, 33));
    } else if (index == kStateChecked) {
        p.setRenderHint(QPainter::Antialiasing);
        QPen pen(QColor(33, 161, 33), 2.0);
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
        p.setPen(pen);
        const QPointF tick[] = {{4.0, 7.5}, {6.5, 10.0}, {11.0, 4.5}};
        p.drawPolyline(tick, 3);
    }
    return img;
}

QColor WindowColor(const QWidget* w) {
    return w->isEnabled() ? w->palette().color(QPalette::Base)
                          : w->palette().color(QPalette::Button);
}

Qt::Alignment AlignmentOf(int format) {
    switch (format) {
        case LVCFMT_RIGHT:
            return Qt::AlignRight;
        case LVCFMT_CENTER:
            return Qt::AlignHCenter;
        default:
            return Qt::AlignLeft;
    }
}

int Depth(const QTreeWidgetItem* item) {
    int d = 0;
    for (const QTreeWidgetItem* p = item->parent(); p; p = p->parent()) ++d;
    return d;
}

// A dotted line of the tree's connecting lines: every other pixel.
void DottedLine(QPainter* p, int x1, int y1, int x2, int y2) {
    if (x1 == x2) {
        for (int y = std::min(y1, y2); y <= std::max(y1, y2); ++y)
            if ((x1 + y) % 2 == 0) p->drawPoint(x1, y);
    } else {
        for (int x = std::min(x1, x2); x <= std::max(x1, x2); ++x)
            if ((x + y1) % 2 == 0) p->drawPoint(x, y1);
    }
}
}  // namespace

const QColor CColumnTreeCtrl::kSelectionColor(49, 106, 197);

// Draws one cell of an entry: the column's piece of text over the window
// colour, the grid lines, and in column 0 the check box and the label.
class CColumnTreeDelegate : public QStyledItemDelegate {
  public:
    explicit CColumnTreeDelegate(CColumnTreeCtrl* tree) : QStyledItemDelegate(tree), tree_(tree) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        return QSize(s.width(), std::max(kRowHeight, option.fontMetrics.height() + 4));
    }

    void paint(QPainter* p, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        HTREEITEM item = tree_->itemFromIndex(index);
        if (!item) return;
        const int column = index.column();
        const QRect cell = option.rect;
        const bool selected = option.state & QStyle::State_Selected;
        const bool fullRow = tree_->FullRowSelect();
        p->save();
        p->fillRect(cell, WindowColor(tree_));
        const QString text = item->text(column);
        QColor textColor = tree_->palette().color(QPalette::Text);
        if (column == 0) {
            const QRect label = tree_->LabelRect(item);
            const int state = tree_->GetCheckState(item);
            if (state != kStateNone) {
                const QRect box = tree_->CheckBoxRect(item);
                p->drawImage(box.topLeft(), CColumnTreeCtrl::StateImage(state));
            }
            if (selected) {
                QRect fill = label;
                if (fullRow) fill.setRight(cell.right());
                p->fillRect(fill, CColumnTreeCtrl::kSelectionColor);
                textColor = Qt::white;
            }
            if ((option.state & QStyle::State_HasFocus) && tree_->hasFocus()) {
                // The classic dotted focus rectangle, inside the label.
                QPen pen(selected ? QColor(Qt::white) : tree_->palette().color(QPalette::Text), 1,
                         Qt::DotLine);
                p->setPen(pen);
                p->drawRect(label.adjusted(0, 0, -1, -2));
            }
            p->setPen(textColor);
            const QRect textRect = label.adjusted(1, 0, -1, 0);
            p->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                        option.fontMetrics.elidedText(text, Qt::ElideRight, textRect.width()));
        } else {
            if (selected && fullRow) {
                p->fillRect(cell, CColumnTreeCtrl::kSelectionColor);
                textColor = Qt::white;
            } else if (!fullRow && tree_->isEnabled()) {
                textColor = tree_->palette().color(QPalette::WindowText);
            }
            const QRect textRect =
                cell.adjusted(1, 1, -1, -1).adjusted(CColumnTreeCtrl::kTextPadding, 1, -2, -1);
            p->setPen(textColor);
            p->drawText(
                textRect,
                AlignmentOf(tree_->GetColumnFormat(column)) | Qt::AlignVCenter | Qt::TextSingleLine,
                option.fontMetrics.elidedText(text, Qt::ElideRight, textRect.width()));
        }
        // Grid: a sunken line at the right edge of the column, and one along
        // the bottom of the row.
        const int x =
            tree_->header()->sectionViewportPosition(column) + tree_->GetColumnWidth(column) - 1;
        p->setPen(tree_->palette().color(QPalette::Mid));
        p->drawLine(x - 1, cell.top(), x - 1, cell.bottom());
        p->setPen(tree_->palette().color(QPalette::Light));
        p->drawLine(x, cell.top(), x, cell.bottom());
        p->setPen(tree_->palette().color(QPalette::Midlight));
        p->drawLine(cell.left(), cell.bottom(), cell.right(), cell.bottom());
        p->restore();
    }

  private:
    CColumnTreeCtrl* tree_;
};

CColumnTreeCtrl::CColumnTreeCtrl(QWidget* parent) : QTreeWidget(parent) {
    setItemDelegate(new CColumnTreeDelegate(this));
    setRootIsDecorated(true);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    // The focus rectangle is the delegate's, inside the label.
    setAllColumnsShowFocus(false);
    setExpandsOnDoubleClick(true);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    horizontalScrollBar()->setSingleStep(15);
    setIndentation(13);
    // The tree shows no tooltips of its own (a cut-off text ends in an ellipsis).
    setMouseTracking(false);
    header()->setStretchLastSection(false);
    header()->setSectionsClickable(true);
    header()->setSectionsMovable(false);
    header()->setMinimumSectionSize(1);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    connect(header(), &QHeaderView::sectionResized, this, &CColumnTreeCtrl::OnSectionResized);
    setColumnCount(1);
    setHeaderLabels({QString()});
    header()->hide();
}

CColumnTreeCtrl::~CColumnTreeCtrl() = default;

const QImage& CColumnTreeCtrl::StateImage(int index) {
    static const QImage images[4] = {MakeStateImage(0), MakeStateImage(1), MakeStateImage(2),
                                     MakeStateImage(3)};
    return images[std::clamp(index, 0, 3)];
}

// ------------------------------------------------------------------ columns

void CColumnTreeCtrl::ApplyHeader() {
    QStringList labels;
    for (const QString& t : titles_) labels << t;
    setColumnCount(std::max<int>(1, int(titles_.size())));
    setHeaderLabels(labels.isEmpty() ? QStringList{QString()} : labels);
    header()->setVisible(!titles_.empty());
    for (int i = 0; i < int(formats_.size()); ++i)
        headerItem()->setTextAlignment(i, AlignmentOf(formats_[size_t(i)]) | Qt::AlignVCenter);
}

int CColumnTreeCtrl::InsertColumn(int index, const QString& text, int format, int width) {
    const int count = GetColumnCount();
    index = std::clamp(index, 0, count);
    std::vector<int> widths;
    for (int i = 0; i < count; ++i) widths.push_back(GetColumnWidth(i));
    widths.insert(widths.begin() + index, width >= 0 ? width : header()->defaultSectionSize());
    formats_.insert(formats_.begin() + index, format);
    titles_.insert(titles_.begin() + index, text);
    // Entries keep their pieces under the columns they were written for.
    QTreeWidgetItemIterator it(this);
    const bool firstColumn = count == 0;
    for (; *it; ++it) {
        if (firstColumn) continue;
        for (int c = count; c > index; --c) (*it)->setText(c, (*it)->text(c - 1));
        (*it)->setText(index, QString());
    }
    resizing_ = true;
    ApplyHeader();
    for (int i = 0; i < int(widths.size()); ++i) header()->resizeSection(i, widths[size_t(i)]);
    resizing_ = false;
    viewport()->update();
    return index;
}

bool CColumnTreeCtrl::DeleteColumn(int index) {
    const int count = GetColumnCount();
    if (index < 0 || index >= count) return false;
    std::vector<int> widths;
    for (int i = 0; i < count; ++i)
        if (i != index) widths.push_back(GetColumnWidth(i));
    QTreeWidgetItemIterator it(this);
    for (; *it; ++it) {
        for (int c = index; c + 1 < count; ++c) (*it)->setText(c, (*it)->text(c + 1));
        (*it)->setText(count - 1, QString());
    }
    formats_.erase(formats_.begin() + index);
    titles_.erase(titles_.begin() + index);
    resizing_ = true;
    ApplyHeader();
    for (int i = 0; i < int(widths.size()); ++i) header()->resizeSection(i, widths[size_t(i)]);
    resizing_ = false;
    viewport()->update();
    return true;
}

int CColumnTreeCtrl::GetColumnWidth(int column) const {
    if (column < 0 || column >= GetColumnCount()) return 0;
    return header()->sectionSize(column);
}

int CColumnTreeCtrl::GetColumnFormat(int column) const {
    if (column < 0 || column >= GetColumnCount()) return LVCFMT_LEFT;
    return formats_[size_t(column)];
}

int CColumnTreeCtrl::TotalColumnWidth() const {
    int total = 0;
    for (int i = 0; i < GetColumnCount(); ++i) total += GetColumnWidth(i);
    return total;
}

void CColumnTreeCtrl::OnSectionResized(int logical, int, int newSize) {
    if (resizing_ || logical != 0 || newSize >= kMinFirstColumnWidth) return;
    // The first column holds the names; narrower than this they would be
    // nothing but ellipses.
    resizing_ = true;
    header()->resizeSection(0, kMinFirstColumnWidth);
    resizing_ = false;
}

// ------------------------------------------------------------------ entries

HTREEITEM CColumnTreeCtrl::InsertItem(const QString& text, HTREEITEM parent, HTREEITEM after) {
    auto* item = new QTreeWidgetItem();
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    const QStringList pieces = text.split('\t');
    const int columns = std::max(1, GetColumnCount());
    for (int c = 0; c < columns && c < pieces.size(); ++c) item->setText(c, pieces[c]);
    item->setData(0, kStateRole, kStateUnchecked);
    if (parent) {
        const int at = after && after->parent() == parent ? parent->indexOfChild(after) + 1
                                                          : parent->childCount();
        parent->insertChild(at, item);
    } else {
        const int at =
            after && !after->parent() ? indexOfTopLevelItem(after) + 1 : topLevelItemCount();
        insertTopLevelItem(at, item);
    }
    return item;
}

void CColumnTreeCtrl::DeleteItem(HTREEITEM item) {
    delete item;
}

void CColumnTreeCtrl::DeleteAllItems() {
    clear();
}

HTREEITEM CColumnTreeCtrl::GetRootItem() const {
    return topLevelItemCount() ? topLevelItem(0) : nullptr;
}

HTREEITEM CColumnTreeCtrl::GetChildItem(HTREEITEM item) const {
    if (!item) return GetRootItem();
    return item->childCount() ? item->child(0) : nullptr;
}

HTREEITEM CColumnTreeCtrl::GetNextSiblingItem(HTREEITEM item) const {
    if (!item) return nullptr;
    if (QTreeWidgetItem* p = item->parent()) {
        const int i = p->indexOfChild(item) + 1;
        return i < p->childCount() ? p->child(i) : nullptr;
    }
    const int i = indexOfTopLevelItem(item) + 1;
    return i > 0 && i < topLevelItemCount() ? topLevelItem(i) : nullptr;
}

HTREEITEM CColumnTreeCtrl::GetPrevSiblingItem(HTREEITEM item) const {
    if (!item) return nullptr;
    if (QTreeWidgetItem* p = item->parent()) {
        const int i = p->indexOfChild(item) - 1;
        return i >= 0 ? p->child(i) : nullptr;
    }
    const int i = indexOfTopLevelItem(item) - 1;
    return i >= 0 ? topLevelItem(i) : nullptr;
}

HTREEITEM CColumnTreeCtrl::GetParentItem(HTREEITEM item) const {
    return item ? item->parent() : nullptr;
}

bool CColumnTreeCtrl::ItemHasChildren(HTREEITEM item) const {
    return item && item->childCount() > 0;
}

HTREEITEM CColumnTreeCtrl::GetSelectedItem() const {
    const auto selected = selectedItems();
    return selected.isEmpty() ? nullptr : selected.front();
}

void CColumnTreeCtrl::SelectItem(HTREEITEM item) {
    if (!item) {
        clearSelection();
        return;
    }
    setCurrentItem(item);
}

void CColumnTreeCtrl::Expand(HTREEITEM item, bool expand) {
    if (item) item->setExpanded(expand);
}

int CColumnTreeCtrl::GetCount() const {
    int n = 0;
    for (QTreeWidgetItemIterator it(const_cast<CColumnTreeCtrl*>(this)); *it; ++it) ++n;
    return n;
}

QString CColumnTreeCtrl::GetItemText(HTREEITEM item) const {
    if (!item) return {};
    QString text;
    for (int c = 0; c < std::max(1, GetColumnCount()); ++c) text += item->text(c) + '\t';
    return text;
}

QString CColumnTreeCtrl::GetItemText(HTREEITEM item, int column) const {
    if (!item || column < 0 || column >= std::max(1, GetColumnCount())) return {};
    return item->text(column);
}

bool CColumnTreeCtrl::SetItemText(HTREEITEM item, int column, const QString& text) {
    if (!item || column < 0 || column >= std::max(1, GetColumnCount())) return false;
    // A piece may not carry a tab: it would split into two columns.
    QString piece = text;
    piece.replace('\t', ' ');
    item->setText(column, piece);
    return true;
}

void CColumnTreeCtrl::SetItemData(HTREEITEM item, ConversionItem* data) {
    if (item) item->setData(0, kDataRole, QVariant::fromValue(reinterpret_cast<quintptr>(data)));
}

ConversionItem* CColumnTreeCtrl::GetItemData(HTREEITEM item) const {
    if (!item) return nullptr;
    return reinterpret_cast<ConversionItem*>(item->data(0, kDataRole).value<quintptr>());
}

// ------------------------------------------------------------------ check boxes

int CColumnTreeCtrl::GetCheckState(HTREEITEM item) const {
    if (!item) return kStateNone;
    const QVariant v = item->data(0, kStateRole);
    if (v.isValid()) return v.toInt();
    // An entry whose box was set through QTreeWidgetItem::setCheckState.
    const QVariant qt = item->data(0, Qt::CheckStateRole);
    if (!qt.isValid()) return kStateNone;
    switch (qt.value<Qt::CheckState>()) {
        case Qt::Checked:
            return kStateChecked;
        case Qt::PartiallyChecked:
            return kStatePartial;
        default:
            return kStateUnchecked;
    }
}

void CColumnTreeCtrl::SetCheckState(HTREEITEM item, int state) {
    if (!item) return;
    item->setData(0, kStateRole, std::clamp(state, 0, 3));
    // Qt's own check state would draw a second box.
    if (item->data(0, Qt::CheckStateRole).isValid())
        item->setData(0, Qt::CheckStateRole, QVariant());
}

void CColumnTreeCtrl::CheckSubtree(HTREEITEM item, int state) {
    if (!item) return;
    for (int i = 0; i < item->childCount(); ++i) {
        HTREEITEM child = item->child(i);
        if (GetCheckState(child) != kStateNone) SetCheckState(child, state);
        CheckSubtree(child, state);
    }
}

void CColumnTreeCtrl::UpdateAncestors(HTREEITEM item, int state) {
    QTreeWidgetItem* parent = item->parent();
    if (!parent) return;
    // The siblings after the entry first, then those before it.
    const int at = parent->indexOfChild(item);
    std::vector<int> order;
    for (int i = at + 1; i < parent->childCount(); ++i) order.push_back(i);
    for (int i = at - 1; i >= 0; --i) order.push_back(i);
    for (int i : order) {
        const int s = GetCheckState(parent->child(i));
        if (s != kStateNone && s != state) {
            for (QTreeWidgetItem* a = parent; a; a = a->parent())
                if (GetCheckState(a) != kStateNone) SetCheckState(a, kStatePartial);
            return;
        }
    }
    if (GetCheckState(parent) != kStateNone) SetCheckState(parent, state);
    UpdateAncestors(parent, state);
}

int CColumnTreeCtrl::ToggleCheck(HTREEITEM item) {
    const int old = GetCheckState(item);
    if (!item || old == kStateNone) return kStateNone;
    const int state = old == kStateUnchecked ? kStateChecked : kStateUnchecked;
    SetCheckState(item, state);
    CheckSubtree(item, state);
    UpdateAncestors(item, state);
    viewport()->update();
    emit CheckChanged(item, state);
    return state;
}

void CColumnTreeCtrl::SetFullRowSelect(bool on) {
    fullRow_ = on;
    viewport()->update();
}

// ------------------------------------------------------------------ geometry

QRect CColumnTreeCtrl::ButtonRect(HTREEITEM item) const {
    if (!item) return {};
    const QRect cell = visualItemRect(item);
    if (!cell.isValid()) return {};
    const int left = header()->sectionViewportPosition(0) + Depth(item) * indentation() +
                     (rootIsDecorated() ? 0 : -indentation());
    return QRect(left, cell.top(), indentation(), cell.height());
}

QRect CColumnTreeCtrl::CheckBoxRect(HTREEITEM item) const {
    if (!item || GetCheckState(item) == kStateNone) return {};
    const QRect cell = visualItemRect(item);
    if (!cell.isValid()) return {};
    const QRect button = ButtonRect(item);
    return QRect(button.right() + 1, cell.top() + (cell.height() - kStateImageSize) / 2,
                 kStateImageSize, kStateImageSize);
}

int CColumnTreeCtrl::LabelWidth(HTREEITEM item, int labelLeft) const {
    const int firstColumnEnd = header()->sectionViewportPosition(0) + GetColumnWidth(0);
    const int wanted = fontMetrics().horizontalAdvance(item->text(0)) + 4;
    return std::max(0, std::min(wanted, firstColumnEnd - 4 - labelLeft));
}

QRect CColumnTreeCtrl::LabelRect(HTREEITEM item) const {
    if (!item) return {};
    const QRect cell = visualItemRect(item);
    if (!cell.isValid()) return {};
    const QRect box = CheckBoxRect(item);
    const int left = box.isValid() ? box.right() + 2 : ButtonRect(item).right() + 1;
    return QRect(left, cell.top(), LabelWidth(item, left), cell.height());
}

bool CColumnTreeCtrl::InsideEntry(HTREEITEM item, QPoint p) const {
    if (!item) return false;
    if (item->childCount() && ButtonRect(item).contains(p)) return true;
    if (CheckBoxRect(item).contains(p)) return true;
    const QRect label = LabelRect(item);
    if (fullRow_) return p.x() >= label.left() && p.y() >= label.top() && p.y() <= label.bottom();
    const int textEnd = label.left() + fontMetrics().horizontalAdvance(item->text(0)) + 6;
    return p.x() >= label.left() && p.x() < textEnd && p.y() >= label.top() &&
           p.y() <= label.bottom();
}

HTREEITEM CColumnTreeCtrl::HitTest(QPoint point, unsigned* flags, int* column) const {
    unsigned f = TVHT_NOWHERE;
    int col = -1;
    HTREEITEM hit = nullptr;
    const QPoint p = viewport()->mapFrom(this, point);
    if (viewport()->rect().contains(p)) {
        HTREEITEM item = itemAt(p);
        // Content x: the point shifted by the horizontal scroll offset.
        const int x = p.x() + horizontalOffset();
        if (item && x < TotalColumnWidth()) {
            hit = item;
            if (item->childCount() && ButtonRect(item).contains(p)) {
                f = TVHT_ONITEMBUTTON;
                col = 0;
            } else if (CheckBoxRect(item).contains(p)) {
                f = TVHT_ONITEMSTATEICON;
                col = 0;
            } else if (p.x() < LabelRect(item).left()) {
                f = TVHT_ONITEMINDENT;
                col = 0;
            } else {
                f = LabelRect(item).contains(p) ? TVHT_ONITEMLABEL : TVHT_ONITEMRIGHT;
                int left = 0;
                for (int c = 0; c < GetColumnCount(); ++c) {
                    if (x >= left && x < left + GetColumnWidth(c)) {
                        col = c;
                        break;
                    }
                    left += GetColumnWidth(c);
                }
                if (col < 0) col = 0;
            }
        }
    }
    if (flags) *flags = f;
    if (column) *column = col;
    return hit;
}

// ------------------------------------------------------------------ mouse and keys

void CColumnTreeCtrl::mousePressEvent(QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    HTREEITEM item = itemAt(p);
    if (!item || !InsideEntry(item, p)) {
        // A press between entries neither selects nor deselects.
        setFocus(Qt::MouseFocusReason);
        return;
    }
    if (e->button() == Qt::LeftButton && CheckBoxRect(item).contains(p)) ToggleCheck(item);
    setCurrentItem(item);
    QTreeWidget::mousePressEvent(e);
    if (e->button() == Qt::LeftButton) {
        const QPoint inControl = viewport()->mapTo(this, p);
        int column = 0;
        HitTest(inControl, nullptr, &column);
        emit Clicked(item, column, inControl);
    }
}

void CColumnTreeCtrl::mouseDoubleClickEvent(QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    HTREEITEM item = itemAt(p);
    if (!item || !InsideEntry(item, p)) {
        setFocus(Qt::MouseFocusReason);
        return;
    }
    // A double click on the box is two toggles, not an expansion.
    if (CheckBoxRect(item).contains(p)) {
        if (e->button() == Qt::LeftButton) ToggleCheck(item);
        return;
    }
    setCurrentItem(item);
    QTreeWidget::mouseDoubleClickEvent(e);
}

void CColumnTreeCtrl::mouseMoveEvent(QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    HTREEITEM item = itemAt(p);
    if (!item || !InsideEntry(item, p)) return;
    QTreeWidget::mouseMoveEvent(e);
}

void CColumnTreeCtrl::keyPressEvent(QKeyEvent* e) {
    viewport()->update();
    if (e->key() == Qt::Key_Space) {
        // Space toggles the current entry's box, as a click on it would.
        if (HTREEITEM item = currentItem(); item && GetCheckState(item) != kStateNone) {
            ToggleCheck(item);
            return;
        }
    }
    QTreeWidget::keyPressEvent(e);
}

// ------------------------------------------------------------------ painting

void CColumnTreeCtrl::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    QTreeWidget::drawRow(painter, option, index);
}

void CColumnTreeCtrl::drawBranches(QPainter* painter, const QRect& rect,
                                   const QModelIndex& index) const {
    painter->fillRect(rect, WindowColor(this));
    HTREEITEM item = itemFromIndex(index);
    if (!item) return;
    const int indent = indentation();
    const int depth = Depth(item);
    const int levels = depth + (rootIsDecorated() ? 1 : 0);
    const int right = rect.right() + 1;
    const int cy = rect.top() + rect.height() / 2;
    painter->save();
    painter->setPen(palette().color(QPalette::Mid));
    // chain[l] is the entry's ancestor at depth l (the entry itself last).
    std::vector<QTreeWidgetItem*> chain(size_t(depth) + 1);
    for (QTreeWidgetItem* n = item; n; n = n->parent()) chain[size_t(Depth(n))] = n;
    const int skip = rootIsDecorated() ? 0 : 1;
    for (int level = 0; level < levels; ++level) {
        QTreeWidgetItem* node = chain[size_t(level + skip)];
        const int x0 = right - (levels - level) * indent;
        const int cx = x0 + indent / 2;
        const bool hasNext = GetNextSiblingItem(node) != nullptr;
        if (node != item) {
            // An ancestor's line goes on past this row to its next sibling.
            if (hasNext) DottedLine(painter, cx, rect.top(), cx, rect.bottom());
            continue;
        }
        const bool hasAbove = node->parent() || GetPrevSiblingItem(node);
        if (hasAbove) DottedLine(painter, cx, rect.top(), cx, cy);
        if (hasNext) DottedLine(painter, cx, cy, cx, rect.bottom());
        DottedLine(painter, cx, cy, x0 + indent - 2, cy);
        if (item->childCount()) {
            const QRect box(cx - 4, cy - 4, 8, 8);
            painter->fillRect(box, WindowColor(this));
            painter->setPen(palette().color(QPalette::Dark));
            painter->drawRect(box);
            painter->setPen(palette().color(QPalette::Text));
            painter->drawLine(cx - 2, cy, cx + 2, cy);
            if (!item->isExpanded()) painter->drawLine(cx, cy - 2, cx, cy + 2);
        }
    }
    painter->restore();
}
