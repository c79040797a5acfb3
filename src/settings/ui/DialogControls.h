#pragma once
// Small pieces the profile and settings dialogs share: controls named by their
// control ids, and the port box read as a number.

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QString>

#include <cstdint>

namespace sorvane::dialog_controls {

inline QCheckBox* checkBox(const char* text, int id, QWidget* parent)
{
    auto* c = new QCheckBox(QString::fromUtf8(text), parent);
    c->setObjectName(QString::number(id));
    return c;
}

inline QComboBox* comboBox(int id, QWidget* parent)
{
    auto* c = new QComboBox(parent);
    c->setObjectName(QString::number(id));
    return c;
}

// The port box as the dialogs read it: an unsigned number, 0 when empty.
inline uint32_t portValue(const QLineEdit& box)
{
    bool ok = false;
    uint32_t v = box.text().toUInt(&ok);
    return ok ? v : 0;
}

} // namespace sorvane::dialog_controls
