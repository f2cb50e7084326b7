// SPDX-License-Identifier: GPL-3.0-or-later
#include "configdialog.h"

#include "app/commandline.h"
#include "app/dialogs.h"
#include "app/settings.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStatusBar>
#include <QVBoxLayout>

QStringList memoLines(const QString &text)
{
    if (text.isEmpty())
        return {};
    QStringList lines = text.split(QLatin1Char('\n'));
    if (text.endsWith(QLatin1Char('\n')))
        lines.removeLast();
    for (QString &l : lines) {
        if (l.endsWith(QLatin1Char('\r')))
            l.chop(1);
    }
    return lines;
}

namespace {

QSpinBox *upDown(const char *name, const char *editName, int min, int max, int step,
                 QWidget *parent)
{
    auto *sb = new QSpinBox(parent);
    sb->setObjectName(QLatin1String(name));
    sb->setRange(min, max);
    sb->setSingleStep(step);
    sb->setGroupSeparatorShown(false);
    if (auto *edit = sb->findChild<QLineEdit *>())
        edit->setObjectName(QLatin1String(editName));
    return sb;
}

QCheckBox *checkBox(const char *name, const QString &caption, const QString &hint, QWidget *parent)
{
    auto *cb = new QCheckBox(caption, parent);
    cb->setObjectName(QLatin1String(name));
    cb->setToolTip(hint);
    return cb;
}

} // namespace

Tconff::Tconff(Settings &settings, const QStringList &args, QWidget *parent)
    : QDialog(parent), m_s(settings)
{
    setObjectName(QStringLiteral("Tconff"));
    setWindowTitle(QStringLiteral("Configuration"));
    buildUi();
    FormCreate(args);
}

void Tconff::setCalculateTemperatureSource(std::function<bool()> source)
{
    m_calcTemp = std::move(source);
}

void Tconff::buildUi()
{
    auto *root = new QVBoxLayout(this);

    auto *top = new QGridLayout;
    m_lanud = upDown("lanud", "LanTimE", kLanTimeoutMin, kLanTimeoutMax, 10, this);
    m_lanud->setValue(400);
    m_lanud->setToolTip(QStringLiteral(" set LAN communication timeout in ms (400) "));
    m_dataud = upDown("dataud", "DatTimE", kDataTimeoutMin, kDataTimeoutMax, 100, this);
    m_dataud->setValue(3000);
    m_dataud->setToolTip(QStringLiteral(" data timeout (DMM response time) in ms (3000) "));
    top->addWidget(new QLabel(QStringLiteral("LAN ms"), this), 0, 0);
    top->addWidget(m_lanud, 0, 1);
    top->addWidget(new QLabel(QStringLiteral("DATA ms"), this), 1, 0);
    top->addWidget(m_dataud, 1, 1);

    m_autoconcb = checkBox("autoconcb", QStringLiteral("Connect"),
                           QStringLiteral(" automaticaly connect on program start "), this);
    m_comamdecs = checkBox("comamdecs", QStringLiteral("use Comma (,) as decimal separator"),
                           QStringLiteral(" when checked use comma instead of point "), this);
    m_allalldatasavecb = checkBox(
        "allalldatasavecb", QStringLiteral("Allway save all measurement data"), QString(), this);
    m_alternativecb =
        checkBox("alternativecb", QStringLiteral("Use new Alternative Reading Method"),
                 QStringLiteral("if checked, program uses Fetch3 command instead of Init"), this);
    top->addWidget(m_autoconcb, 0, 2);
    top->addWidget(m_comamdecs, 1, 2);
    top->addWidget(m_allalldatasavecb, 2, 2);
    top->addWidget(m_alternativecb, 3, 2);
    root->addLayout(top);

    auto memoGroup = [this](const char *name, const QString &caption, const QString &hint,
                            QPlainTextEdit *&memo) {
        auto *gb = new QGroupBox(caption, this);
        auto *l = new QVBoxLayout(gb);
        memo = new QPlainTextEdit(gb);
        memo->setObjectName(QLatin1String(name));
        memo->setToolTip(hint);
        memo->setLineWrapMode(QPlainTextEdit::NoWrap);
        l->addWidget(memo);
        return gb;
    };
    auto *lists = new QHBoxLayout;
    lists->addWidget(memoGroup("initmemo", QStringLiteral(" &Initialize  communication commands "),
                               QStringLiteral(" commands for measurement initialization, sent "
                                              "on connect; a line beginning with / is a comment "),
                               m_initmemo));
    lists->addWidget(memoGroup("closememo", QStringLiteral(" Communication cl&ose commands "),
                               QStringLiteral(" commands sent when the communication closes; a "
                                              "line beginning with / is a comment "),
                               m_closememo));
    root->addLayout(lists);

    // Never shown: automatic saving only reads the file kind selected here.
    m_filegb = new QGroupBox(QStringLiteral(" Path && &File "), this);
    m_filegb->setObjectName(QStringLiteral("filegb"));
    auto *fl = new QHBoxLayout(m_filegb);
    m_deffiletypecb = new QComboBox(m_filegb);
    m_deffiletypecb->setObjectName(QStringLiteral("deffiletypecb"));
    m_deffiletypecb->addItems({QStringLiteral("Comma separated *.txt"),
                               QStringLiteral("Tab separated *.txt"),
                               QStringLiteral("Semicolon separated *.csv")});
    m_deffiletypecb->setCurrentIndex(2);
    m_savefilese = new QLineEdit(m_filegb);
    m_savefilese->setObjectName(QStringLiteral("savefilese"));
    auto *browse = new QPushButton(QStringLiteral("&B"), m_filegb);
    browse->setObjectName(QStringLiteral("Button1"));
    browse->setToolTip(QStringLiteral(" browse for directory "));
    fl->addWidget(m_deffiletypecb);
    fl->addWidget(m_savefilese);
    fl->addWidget(browse);
    m_filegb->setVisible(false);
    root->addWidget(m_filegb);

    auto *buttons = new QHBoxLayout;
    m_defcomcb = new QPushButton(QStringLiteral("Set default commands"), this);
    m_defcomcb->setObjectName(QStringLiteral("defcomcb"));
    m_savec = new QPushButton(QStringLiteral("&Save Configuration"), this);
    m_savec->setObjectName(QStringLiteral("savec"));
    m_savec->setToolTip(QStringLiteral(" save current configuration "));
    m_savec->setAutoDefault(false);
    m_defcomcb->setAutoDefault(false);
    buttons->addWidget(m_defcomcb);
    buttons->addStretch();
    buttons->addWidget(m_savec);
    root->addLayout(buttons);

    m_stabar1 = new QStatusBar(this);
    m_stabar1->setObjectName(QStringLiteral("stabar1"));
    m_stabar1->setSizeGripEnabled(false);
    root->addWidget(m_stabar1);

    connect(m_lanud, &QSpinBox::valueChanged, this, &Tconff::LanTimEChange);
    connect(m_dataud, &QSpinBox::valueChanged, this, &Tconff::DatTimEChange);
    connect(m_comamdecs, &QCheckBox::toggled, this, &Tconff::comamdecsClick);
    connect(m_allalldatasavecb, &QCheckBox::toggled, this, &Tconff::allalldatasavecbClick);
    connect(m_alternativecb, &QCheckBox::toggled, this, &Tconff::alternativecbClick);
    connect(m_initmemo, &QPlainTextEdit::textChanged, this,
            [this] { m_s.initList = memoLines(m_initmemo->toPlainText()); });
    connect(m_closememo, &QPlainTextEdit::textChanged, this,
            [this] { m_s.closeList = memoLines(m_closememo->toPlainText()); });
    connect(m_defcomcb, &QPushButton::clicked, this, &Tconff::defcomcbClick);
    connect(m_savec, &QPushButton::clicked, this, &Tconff::savecClick);
    connect(browse, &QPushButton::clicked, this, &Tconff::Button1Click);
}

void Tconff::FormCreate(const QStringList &args)
{
    commandline::ParseCommandLineFirst(args, m_s);
    settingsio::LoadSettings(m_s);
    {
        const QSignalBlocker b1(m_lanud);
        const QSignalBlocker b2(m_dataud);
        m_autoconcb->setChecked(m_s.AutoConnect);
        m_lanud->setValue(m_s.LanTimeout);
        m_dataud->setValue(m_s.DataTimeout);
    }
    showLists();
    m_stabar1->showMessage(dialogs::versionText());

    m_comamdecs->setChecked(m_s.DecSeparator == QLatin1String(","));
    m_allalldatasavecb->setChecked(m_s.AllwaysSaveData);
    m_alternativecb->setChecked(m_s.AlternativeCMD == 2);

    if (!settingsio::fillDefaultDataDir(m_s))
        dialogs::ShowError(nullptr, settingsio::kNoDocumentsError);
    commandline::ParseCommandLineSecond(args, m_s);
    settingsio::createDataDir(m_s);
}

void Tconff::showLists()
{
    const QStringList init = m_s.initList;
    const QStringList close = m_s.closeList;
    m_initmemo->setPlainText(init.join(QLatin1Char('\n')));
    m_closememo->setPlainText(close.join(QLatin1Char('\n')));
    // A memo can't hold a list whose only line is empty; keep the list as read.
    m_s.initList = init;
    m_s.closeList = close;
}

void Tconff::LanTimEChange(int v)
{
    m_s.LanTimeout = v;
}

void Tconff::DatTimEChange(int v)
{
    m_s.DataTimeout = v;
}

void Tconff::comamdecsClick(bool checked)
{
    m_s.DecSeparator = checked ? QStringLiteral(",") : QStringLiteral(".");
}

void Tconff::allalldatasavecbClick(bool checked)
{
    m_s.AllwaysSaveData = checked;
}

void Tconff::alternativecbClick(bool checked)
{
    m_s.AlternativeCMD = checked ? 2 : 1;
}

int Tconff::defaultFileType() const
{
    return m_deffiletypecb->currentIndex();
}

void Tconff::defcomcbClick()
{
    m_s.initList = Settings::defaultCommandsInitList();
    m_s.closeList = Settings::defaultCloseList();
    showLists();
}

void Tconff::savecClick()
{
    m_s.AutoConnect = m_autoconcb->isChecked();
    if (m_calcTemp)
        m_s.CalculateTemperature = m_calcTemp();
    QString error;
    if (!settingsio::SaveSettings(m_s, &error))
        dialogs::ShowError(this, error);
}

void Tconff::Button1Click()
{
    const QString dir = QFileDialog::getExistingDirectory(
        this, QStringLiteral("Please choose directory..."), m_savefilese->text());
    if (!dir.isEmpty())
        m_savefilese->setText(settingsio::withDelimiter(dir));
}

void Tconff::closeEvent(QCloseEvent *e)
{
    // Hidden while the main window lives; released with it otherwise.
    if (parentWidget() && parentWidget()->isVisible()) {
        e->ignore();
        hide();
        return;
    }
    QDialog::closeEvent(e);
}
