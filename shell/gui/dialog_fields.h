// Small pieces the acquisition dialogs share: texts of the core as QStrings, digit-only fields
// and the lists of the inputs and QAM modes.
#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QString>
#include <string_view>

#include "acquisition/interface_settings.h"

namespace orv::gui {

inline QString qtext(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// An edit that takes digits only, at most maxChars of them (0: no limit).
inline QLineEdit* digitEdit(const QString& text, int maxChars, QWidget* parent) {
    auto* edit = new QLineEdit(text, parent);
    edit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    if (maxChars > 0) edit->setMaxLength(maxChars);
    return edit;
}

// The integer a digit field holds, read as the dialogs read it (not a number: 0).
inline int digitValue(const QLineEdit* edit) {
    return fieldNumber(edit->text().toStdString());
}

inline QComboBox* inputInterfaceList(QWidget* parent) {
    auto* list = new QComboBox(parent);
    for (const std::string_view name : kInputInterfaceNames)
        list->addItem(qtext(name));
    return list;
}

// The five QAM modes, "64 QAM" selected.
inline QComboBox* qamModeList(QWidget* parent) {
    auto* list = new QComboBox(parent);
    for (const std::string_view name : kQamModeNames)
        list->addItem(qtext(name));
    list->setCurrentIndex(2);
    return list;
}

}  // namespace orv::gui
