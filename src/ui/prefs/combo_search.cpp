#include "combo_search.h"

#include <QComboBox>

int FindStringPrefix(const QComboBox* combo, const QString& text, int after) {
    const int n = combo ? combo->count() : 0;
    if (n == 0) return -1;
    if (after < -1 || after >= n) after = -1;
    for (int k = 1; k <= n; ++k) {
        const int i = (after + k) % n;
        if (combo->itemText(i) == text) return i;
    }
    for (int k = 1; k <= n; ++k) {
        const int i = (after + k) % n;
        if (combo->itemText(i).startsWith(text, Qt::CaseInsensitive)) return i;
    }
    return -1;
}

int SelectStringPrefix(QComboBox* combo, const QString& text, int after) {
    const int i = FindStringPrefix(combo, text, after);
    if (i >= 0) combo->setCurrentIndex(i);
    return i;
}
