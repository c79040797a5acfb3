#include "settings/ui/DialogLists.h"

#include <algorithm>

#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QRadioButton>
#include <QVBoxLayout>

#include "settings/Profile.h"

namespace sorvane {

namespace {

RadioGroup makeGroup(QWidget* parent, const QString& title, int firstId, std::initializer_list<const char*> labels)
{
    RadioGroup g;
    g.box = new QGroupBox(title, parent);
    g.group = new QButtonGroup(g.box);
    g.group->setExclusive(true);
    g.firstId = firstId;
    auto* layout = new QVBoxLayout(g.box);
    layout->setContentsMargins(8, 4, 8, 6);
    layout->setSpacing(2);
    int id = firstId;
    for (const char* label : labels) {
        auto* b = new QRadioButton(QString::fromUtf8(label), g.box);
        b->setObjectName(QString::number(id));
        g.group->addButton(b, id);
        layout->addWidget(b);
        ++id;
    }
    return g;
}

} // namespace

void fillLinkKinds(QComboBox& box)
{
    box.clear();
    for (uint32_t k = 0; k <= uint32_t(LinkKind::Proxy); ++k) {
        std::string_view n = linkKindName(k);
        box.addItem(QString::fromUtf8(n.data(), qsizetype(n.size())));
    }
}

void fillClickFormats(QComboBox& box)
{
    box.clear();
    box.addItems({QStringLiteral("BMP"), QStringLiteral("BMP24"), QStringLiteral("GIF"), QStringLiteral("JPEG")});
}

void fillRefreshRates(QComboBox& box)
{
    box.clear();
    for (int r = 1; r <= 18; ++r)
        box.addItem(QStringLiteral("%1 fps").arg(r));
}

void fillScales(QComboBox& box, bool upperCase)
{
    box.clear();
    for (int s = 1; s <= 4; ++s)
        box.addItem(QStringLiteral("%1%2").arg(s).arg(upperCase ? QLatin1Char('X') : QLatin1Char('x')));
}

void fillSkins(QComboBox& box, const std::vector<std::string>& skinNames)
{
    box.clear();
    box.addItem(QStringLiteral("None"));
    for (const std::string& n : skinNames)
        box.addItem(QString::fromStdString(n));
    box.setEnabled(!skinNames.empty());
}

void selectClamped(QComboBox& box, int index)
{
    if (box.count() == 0)
        return;
    box.setCurrentIndex(std::clamp(index, 0, box.count() - 1));
}

void RadioGroup::check(int value) const
{
    QAbstractButton* b = button(value);
    if (!b)
        b = button(0);
    if (b)
        b->setChecked(true);
}

int RadioGroup::value() const
{
    const QList<QAbstractButton*> buttons = group->buttons();
    for (QAbstractButton* b : buttons)
        if (b->isChecked())
            return group->id(b) - firstId;
    return 0;
}

QAbstractButton* RadioGroup::button(int value) const { return group->button(firstId + value); }

RadioGroup makeCaptureGroup(QWidget* parent)
{
    return makeGroup(parent, QStringLiteral("Screen Capture"), 1070, {"File", "Clipboard", "One Click"});
}

RadioGroup makeRecordingGroup(QWidget* parent)
{
    return makeGroup(parent, QStringLiteral("Recording Method"), 1073, {"Script events", "AVI video"});
}

} // namespace sorvane
