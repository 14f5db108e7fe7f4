// Small drawing helpers of the page views: read-only value boxes and lists that are only touched
// when their text changes, so a redraw every tick neither flickers nor loses a selection.
#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalBlocker>
#include <QString>
#include <string>
#include <vector>

namespace orv::gui {

inline QString qtext(const std::string& s) {
    return QString::fromStdString(s);
}

inline QLineEdit* valueBox(QWidget* parent) {
    auto* box = new QLineEdit(parent);
    box->setReadOnly(true);
    return box;
}

inline void showText(QLineEdit* box, const std::string& s) {
    const QString t = qtext(s);
    if (box->text() != t) box->setText(t);
}

inline void showLines(QListWidget* list, const std::vector<std::string>& lines) {
    bool same = list->count() == static_cast<int>(lines.size());
    for (int i = 0; same && i < list->count(); ++i)
        same = list->item(i)->text() == qtext(lines[static_cast<std::size_t>(i)]);
    if (same) return;
    list->clear();
    for (const std::string& line : lines)
        list->addItem(qtext(line));
}

// Refills a selector when its entries changed and shows `current`, without reporting either as
// the user's choice.
inline void showChoices(QComboBox* box, const std::vector<std::string>& choices, int current) {
    const QSignalBlocker block(box);
    bool same = box->count() == static_cast<int>(choices.size());
    for (int i = 0; same && i < box->count(); ++i)
        same = box->itemText(i) == qtext(choices[static_cast<std::size_t>(i)]);
    if (!same) {
        box->clear();
        for (const std::string& c : choices)
            box->addItem(qtext(c));
    }
    if (current >= 0 && current < box->count() && box->currentIndex() != current)
        box->setCurrentIndex(current);
}

}  // namespace orv::gui
