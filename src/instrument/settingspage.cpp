// SPDX-License-Identifier: GPL-3.0-or-later
#include "instrument/settingspage.h"

#include "instrument/devicecommands.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

namespace {

QComboBox *makeList(QWidget *parent, const char *name, const QString &hint)
{
    auto *box = new QComboBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setEditable(false);
    box->setToolTip(hint);
    return box;
}

QLabel *makeLabel(QWidget *parent, const char *name, const QString &hint = {})
{
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setToolTip(hint);
    return label;
}

} // namespace

SettingsPage::SettingsPage(QWidget *parent) : QWidget(parent)
{
    m_meastypecb = makeList(this, "meastypecb", QStringLiteral(" choose measurement function "));
    // The entries are padded so their unit column lines up; that needs a fixed pitch.
    QFont fixed(QStringLiteral("DejaVu Sans Mono"));
    fixed.setStyleHint(QFont::Monospace);
    fixed.setFixedPitch(true);
    m_meastypecb->setFont(fixed);
    m_meastypecb->addItems(meascat::captions());

    m_rangecb = makeList(this, "rangecb", QStringLiteral(" choose range "));
    m_resolcb = makeList(this, "resolcb", QStringLiteral(" choose resolution "));
    static const char *const kSensNames[meascat::kSensCount] = {"sens1cb", "sens2cb", "sens3cb"};
    for (int i = 0; i < meascat::kSensCount; ++i)
        m_sens[i] = makeList(this, kSensNames[i], {});

    // Never shown; kept because the language files and the console still know it.
    m_measseccb = new QCheckBox(this);
    m_measseccb->setObjectName(QStringLiteral("measseccb"));
    m_measseccb->setVisible(false);

    m_measch = new QPushButton(QStringLiteral("S&et"), this);
    m_measch->setObjectName(QStringLiteral("measch"));
    m_geterrb = new QPushButton(QStringLiteral("Get Err&or"), this);
    m_geterrb->setObjectName(QStringLiteral("geterrb"));

    m_displaytexte = new QLineEdit(this);
    m_displaytexte->setObjectName(QStringLiteral("displaytexte"));
    m_displaytexte->setMaxLength(devcmd::kDisplayTextLength);
    m_displaytexte->setToolTip(QStringLiteral(" enter a text for the instrument display, "
                                              "0 turns the display off "));
    auto *displayLabel = new QLabel(QStringLiteral("&Text on display"), this);
    displayLabel->setBuddy(m_displaytexte);

    m_instumentids =
        makeLabel(this, "instumentids", QStringLiteral(" [Shift + F2] connect / disconnect "));
    m_termlab = makeLabel(this, "termlab");
    m_lasterrs = makeLabel(this, "lasterrs", QStringLiteral(" last instrument error "));

    // The identification and terminal labels are laid out by the owner, in its display.
    auto *grid = new QGridLayout(this);
    grid->addWidget(m_meastypecb, 0, 0, 1, 2);
    grid->addWidget(m_rangecb, 1, 0);
    grid->addWidget(m_resolcb, 1, 1);
    for (int i = 0; i < meascat::kSensCount; ++i)
        grid->addWidget(m_sens[i], 2 + i, 0, 1, 2);
    grid->addWidget(m_measch, 5, 0);
    grid->addWidget(m_geterrb, 5, 1);
    grid->addWidget(displayLabel, 6, 0);
    grid->addWidget(m_displaytexte, 6, 1);
    grid->addWidget(m_lasterrs, 7, 0, 1, 2);
    grid->setRowStretch(8, 1);

    connect(m_meastypecb, &QComboBox::currentIndexChanged, this, &SettingsPage::meastypecbChange);
    // The console shows the commands as they would be sent, so every selection rebuilds.
    for (QComboBox *box : {m_rangecb, m_resolcb, m_sens[0], m_sens[1], m_sens[2]})
        connect(box, &QComboBox::currentIndexChanged, this, [this] { BuildConfigCommand(); });
    connect(m_measseccb, &QCheckBox::toggled, this, [this] { BuildConfigCommand(); });
    connect(m_measch, &QPushButton::clicked, this, &SettingsPage::measchRequested);
    connect(m_geterrb, &QPushButton::clicked, this, &SettingsPage::geterrRequested);
    connect(m_displaytexte, &QLineEdit::returnPressed, this,
            [this] { emit displayTextEntered(m_displaytexte->text()); });

    // The page is usable on its own; the owner's first show runs this again.
    meastypecbChange();
}

int SettingsPage::measType() const
{
    return m_meastypecb->currentIndex();
}

meascat::SensSelection SettingsPage::sensSelection() const
{
    return {m_sens[0]->currentIndex(), m_sens[1]->currentIndex(), m_sens[2]->currentIndex()};
}

QString SettingsPage::rangeEntry() const
{
    return m_rangecb->currentText();
}

QString SettingsPage::resolutionEntry() const
{
    return m_resolcb->currentText();
}

QString SettingsPage::measparmText() const
{
    return m_commands.configuration + QLatin1String("\r\n") + m_commands.option;
}

void SettingsPage::fillList(QComboBox *box, QStringView entries, int selected)
{
    const QSignalBlocker block(box);
    box->clear();
    box->addItems(meascat::splitList(entries));
    box->setCurrentIndex(selected);
}

void SettingsPage::meastypecbChange()
{
    const meascat::MeasFunction *f = meascat::function(measType());
    for (QComboBox *box : m_sens)
        box->setVisible(true);
    for (int i = 0; i < meascat::kSensCount; ++i) {
        const meascat::SensList *list = f ? f->sens[i] : nullptr;
        if (list) {
            fillList(m_sens[i], list->entries, list->initial);
            m_sens[i]->setToolTip(list->hint.toString());
        } else {
            fillList(m_sens[i], {}, -1);
            m_sens[i]->setVisible(false);
        }
    }
    fillList(m_rangecb, f ? f->ranges : QStringView(), 0);
    fillList(m_resolcb, f ? f->resolutions : QStringView(), 0);
    BuildConfigCommand();
}

void SettingsPage::rebuildKeepingReadBack()
{
    const int range = m_rangecb->currentIndex();
    const int resol = m_resolcb->currentIndex();
    const int filter = m_sens[0]->currentIndex();
    meastypecbChange();
    auto keep = [](QComboBox *box, int index) {
        box->setCurrentIndex(index < box->count() ? index : -1);
    };
    keep(m_rangecb, range);
    keep(m_resolcb, resol);
    // The read-back sets the filter only where the instrument was asked for it.
    if (!meascat::filterStateQuery(measType()).isEmpty())
        keep(m_sens[0], filter);
}

meascat::ConfigCommands SettingsPage::BuildConfigCommand()
{
    m_commands =
        meascat::BuildConfigCommand(measType(), rangeEntry(), resolutionEntry(), sensSelection());
    emit configCommandChanged(m_commands.configuration, m_commands.option);
    return m_commands;
}

void SettingsPage::selectMeasType(int type)
{
    const QSignalBlocker block(m_meastypecb);
    m_meastypecb->setCurrentIndex(type);
}

void SettingsPage::selectFilter(int index)
{
    m_sens[0]->setCurrentIndex(index);
}

void SettingsPage::setTerminalText(const QString &text)
{
    m_termlab->setText(text);
}

void SettingsPage::setLastError(const QString &text)
{
    m_lasterrs->setText(text);
}

void SettingsPage::setIdentificationLine(const QString &text)
{
    m_instumentids->setText(text);
}

void SettingsPage::setMeasChEnabled(bool enabled)
{
    m_measch->setEnabled(enabled);
}

void SettingsPage::setGetErrEnabled(bool enabled)
{
    m_geterrb->setEnabled(enabled);
}

void SettingsPage::selectThirdEntries()
{
    for (QComboBox *box : {m_rangecb, m_resolcb})
        box->setCurrentIndex(box->count() >= 3 ? 2 : -1);
}
