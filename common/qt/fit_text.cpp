#include "common/qt/fit_text.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <algorithm>
#include <vector>

namespace kobal::qt {

namespace {
constexpr int kGrownGap = 4;  // pixels
}  // namespace

QSize CaptionSize(const QWidget* control) {
    const QSize now = control->size();
    if (auto* label = qobject_cast<const QLabel*>(control)) {
        if (label->text().isEmpty() || !label->pixmap().isNull()) return now;
        if (label->wordWrap()) return QSize(now.width(), std::max(now.height(), label->heightForWidth(now.width())));
        return now.expandedTo(label->sizeHint());
    }
    if (qobject_cast<const QCheckBox*>(control) || qobject_cast<const QRadioButton*>(control))
        return now.expandedTo(control->sizeHint());
    if (auto* button = qobject_cast<const QPushButton*>(control)) {
        // The style's own hint adds a minimum width that no caption needs.
        const QFontMetrics fm = button->fontMetrics();
        const int margin = button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button) +
                           2 * button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
        return now.expandedTo(QSize(fm.horizontalAdvance(button->text()) + margin, fm.height() + margin));
    }
    return now;
}

QSize GrowToFit(QWidget* holder) {
    struct Item {
        QWidget* w;
        QRect was;
        QRect now;
    };
    std::vector<Item> items;
    for (QObject* child : holder->children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (!w || w->isWindow()) continue;
        QSize need = CaptionSize(w);
        if (auto* group = qobject_cast<QGroupBox*>(w)) {
            need = GrowToFit(group);
            const int title = group->fontMetrics().horizontalAdvance(group->title()) +
                              4 * group->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, group) + 8;
            need.setWidth(std::max(need.width(), title));
        }
        items.push_back({w, w->geometry(), QRect(w->pos(), need.expandedTo(w->size()))});
    }

    // Positions only ever grow, and "below" and "right of" follow the
    // designed positions, so this settles within a few rounds.
    const auto overlap = [](int a0, int a1, int b0, int b1) { return a0 < b1 && b0 < a1; };
    bool changed = true;
    for (size_t round = 0; changed && round <= 2 * items.size() + 2; ++round) {
        changed = false;
        for (const Item& a : items) {
            for (Item& b : items) {
                if (&a == &b) continue;
                // A control keeps its designed distance from the one above
                // or left of it, where they share rows or columns.
                if (2 * b.was.top() >= 2 * a.was.top() + a.was.height() &&
                    overlap(a.now.left(), a.now.left() + a.now.width(), b.now.left(), b.now.left() + b.now.width())) {
                    const int top = a.now.top() + a.now.height() + b.was.top() - (a.was.top() + a.was.height());
                    if (top > b.now.top()) b.now.moveTop(top), changed = true;
                }
                if (2 * b.was.left() >= 2 * a.was.left() + a.was.width() &&
                    overlap(a.now.top(), a.now.top() + a.now.height(), b.now.top(), b.now.top() + b.now.height())) {
                    // A grown caption keeps a little space before the next control.
                    int gap = b.was.left() - (a.was.left() + a.was.width());
                    if (a.now.width() > a.was.width()) gap = std::max(gap, kGrownGap);
                    const int left = a.now.left() + a.now.width() + gap;
                    if (left > b.now.left()) b.now.moveLeft(left), changed = true;
                }
                if (a.was.left() == b.was.left() && a.now.left() > b.now.left())
                    b.now.moveLeft(a.now.left()), changed = true;
            }
        }
    }

    // The holder grows by as much as its controls did, and holds them all.
    int wider = 0, taller = 0, right = 0, bottom = 0;
    for (const Item& item : items) {
        wider = std::max(wider, item.now.right() - item.was.right());
        taller = std::max(taller, item.now.bottom() - item.was.bottom());
        right = std::max(right, item.now.left() + item.now.width());
        bottom = std::max(bottom, item.now.top() + item.now.height());
        item.w->setGeometry(item.now);
    }
    return (holder->size() + QSize(wider, taller)).expandedTo(QSize(right, bottom));
}

QIcon ProductIcon() {
    // The programs live in the resource folder; the installer at the top of
    // its medium, beside it.
    const QString dir = QCoreApplication::applicationDirPath();
    for (const QString& path : {dir + "/KobalTronIcon.ico", dir + "/resource/KobalTronIcon.ico"}) {
        if (!QFileInfo(path).isFile()) continue;
        QIcon icon(path);
        if (!icon.availableSizes().isEmpty()) return icon;
    }
    return {};
}

}  // namespace kobal::qt
