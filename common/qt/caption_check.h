#pragma once
// For tests: the captions of a window that do not show whole at the font in
// use, measured with the controls' own font metrics and style, apart from
// the code that sizes them.
#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStringList>
#include <QStyle>

namespace kobal::qt::testing {

inline QString Describe(const QWidget* w, const QString& text, const QString& why) {
    return QString("\"%1\" (%2 at %3,%4 %5x%6): %7")
        .arg(text, w->metaObject()->className())
        .arg(w->x())
        .arg(w->y())
        .arg(w->width())
        .arg(w->height())
        .arg(why);
}

// Every visible label, check box, button and frame title below top whose
// caption is cut, and every such control that reaches outside its holder.
inline QStringList ClippedCaptions(const QWidget* top) {
    QStringList clipped;
    for (const QWidget* w : top->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(top) || w->isWindow()) continue;
        const QFontMetrics fm = w->fontMetrics();
        const int fw = w->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, w);
        QString text;
        QSize need;
        if (auto* l = qobject_cast<const QLabel*>(w)) {
            if (!l->pixmap().isNull() || l->text().isEmpty()) continue;
            text = l->text();
            const QRect room = l->contentsRect().adjusted(l->margin(), l->margin(), -l->margin(), -l->margin());
            if (l->wordWrap()) {
                for (const QString& word : text.split(QRegularExpression("\\s+"), Qt::SkipEmptyParts))
                    if (fm.horizontalAdvance(word) > room.width())
                        clipped << Describe(w, text, "the word \"" + word + "\" is wider than the label");
                need = QSize(room.width(),
                             fm.boundingRect(QRect(0, 0, room.width(), 100000), Qt::TextWordWrap, text).height());
            } else {
                need = fm.boundingRect(QRect(0, 0, 100000, 100000), 0, text).size();
            }
            if (need.width() > room.width() || need.height() > room.height())
                clipped << Describe(w, text, QString("needs %1x%2").arg(need.width()).arg(need.height()));
        } else if (qobject_cast<const QCheckBox*>(w) || qobject_cast<const QRadioButton*>(w)) {
            text = static_cast<const QAbstractButton*>(w)->text();
            const bool check = qobject_cast<const QCheckBox*>(w);
            const int indicator = w->style()->pixelMetric(
                check ? QStyle::PM_IndicatorWidth : QStyle::PM_ExclusiveIndicatorWidth, nullptr, w);
            const int indicatorHeight = w->style()->pixelMetric(
                check ? QStyle::PM_IndicatorHeight : QStyle::PM_ExclusiveIndicatorHeight, nullptr, w);
            const int spacing = w->style()->pixelMetric(
                check ? QStyle::PM_CheckBoxLabelSpacing : QStyle::PM_RadioButtonLabelSpacing, nullptr, w);
            need = QSize(indicator + spacing + fm.horizontalAdvance(text), std::max(indicatorHeight, fm.height()));
            if (need.width() > w->width() || need.height() > w->height())
                clipped << Describe(w, text, QString("needs %1x%2").arg(need.width()).arg(need.height()));
        } else if (auto* b = qobject_cast<const QPushButton*>(w)) {
            text = b->text();
            need = QSize(fm.horizontalAdvance(text) + 2 * fw, fm.height() + 2 * fw);
            if (need.width() > w->width() || need.height() > w->height())
                clipped << Describe(w, text, QString("needs %1x%2").arg(need.width()).arg(need.height()));
        } else if (auto* g = qobject_cast<const QGroupBox*>(w)) {
            text = g->title();
            if (fm.horizontalAdvance(text) + 2 * fw > w->width())
                clipped << Describe(w, text, "the title is wider than the frame");
        } else {
            continue;
        }
        // A control cut by its holder (or the window) loses part of its caption.
        const QWidget* holder = w->parentWidget();
        if (holder && !holder->rect().contains(w->geometry()))
            clipped << Describe(
                w, text, QString("reaches outside its holder (%1x%2)").arg(holder->width()).arg(holder->height()));
    }
    return clipped;
}

}  // namespace kobal::qt::testing
