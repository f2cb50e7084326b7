// SPDX-License-Identifier: GPL-3.0-or-later
#include "commwindow.h"

#include "app/dialogs.h"
#include "app/numerickeyfilter.h"
#include "app/settings.h"
#include "data/numtext.h"
#include "link/cmdhistory.h"
#include "link/pinger.h"
#include "link/scpilink.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

namespace {
constexpr int kLogLines = 1100;
constexpr int kPingTimeoutMs = 5000;

QPushButton *button(const char *name, const QString &caption, QWidget *parent)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}
} // namespace

TCommFrm::TCommFrm(Settings &settings, ScpiLink &link, QWidget *parent)
    : QWidget(parent, Qt::Window), m_s(settings), m_link(link)
{
    setObjectName(QStringLiteral("TCommFrm"));
    setWindowTitle(QStringLiteral(" Communication TCP/IP "));
    m_pinger = new Pinger(this);
    buildUi();
    FormCreate();
}

TCommFrm::~TCommFrm()
{
    cmdhistory::save(historyPath(), history());
}

void TCommFrm::buildUi()
{
    auto *root = new QVBoxLayout(this);

    auto *addr = new QGridLayout;
    m_adre = new QLineEdit(this);
    m_adre->setObjectName(QStringLiteral("adre"));
    m_porte = new QLineEdit(this);
    m_porte->setObjectName(QStringLiteral("porte"));
    NumericKeyFilter::install(m_porte);
    auto *adreLabel = new QLabel(QStringLiteral("&Address or host name"), this);
    adreLabel->setBuddy(m_adre);
    auto *porteLabel = new QLabel(QStringLiteral("&Port"), this);
    porteLabel->setBuddy(m_porte);
    m_savehostb = button("savehostb", QStringLiteral("Sa&ve address"), this);
    m_INITb = button("INITb", QStringLiteral("&Connect"), this);
    m_QuitCmd = button("QuitCmd", QStringLiteral("&Disconnect"), this);
    m_pingl = new QLabel(QStringLiteral("Ping: ms"), this);
    m_pingl->setObjectName(QStringLiteral("pingl"));
    m_pingl->setCursor(Qt::PointingHandCursor);
    m_pingl->installEventFilter(this);
    addr->addWidget(adreLabel, 0, 0);
    addr->addWidget(porteLabel, 0, 1);
    addr->addWidget(m_adre, 1, 0);
    addr->addWidget(m_porte, 1, 1);
    addr->addWidget(m_savehostb, 1, 2);
    addr->addWidget(m_INITb, 1, 3);
    addr->addWidget(m_QuitCmd, 1, 4);
    addr->addWidget(m_pingl, 0, 3, 1, 2);
    addr->setColumnStretch(0, 3);
    root->addLayout(addr);

    auto *cmdRow = new QHBoxLayout;
    m_datalecb = new QComboBox(this);
    m_datalecb->setObjectName(QStringLiteral("datalecb"));
    m_datalecb->setEditable(true);
    m_datalecb->setInsertPolicy(QComboBox::NoInsert);
    m_datalecb->setEditText(QStringLiteral("*IDN?"));
    // What the operator typed is what goes out: no inline completion from the history.
    m_datalecb->setCompleter(nullptr);
    // The combo box is its line edit's focus proxy, so typed keys reach it first.
    m_datalecb->installEventFilter(this);
    m_datalecb->lineEdit()->installEventFilter(this);
    m_RunCmd = button("RunCmd", QStringLiteral("&Send"), this);
    m_Readdatab = button("Readdatab", QStringLiteral("&Read"), this);
    m_clearlogb = button("clearlogb", QStringLiteral("Cl&ear"), this);
    m_lastvall = new QLabel(QStringLiteral("0.0"), this);
    m_lastvall->setObjectName(QStringLiteral("lastvall"));
    cmdRow->addWidget(m_datalecb, 1);
    cmdRow->addWidget(m_RunCmd);
    cmdRow->addWidget(m_Readdatab);
    cmdRow->addWidget(m_clearlogb);
    cmdRow->addWidget(m_lastvall);
    root->addLayout(cmdRow);

    m_commlogm = new QPlainTextEdit(this);
    m_commlogm->setObjectName(QStringLiteral("commlogm"));
    m_commlogm->setReadOnly(true);
    m_commlogm->setMaximumBlockCount(kLogLines);
    m_commlogm->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_commlogm->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_commlogm->setEnabled(false);
    root->addWidget(m_commlogm, 1);

    m_measparm = new QPlainTextEdit(this);
    m_measparm->setObjectName(QStringLiteral("measparm"));
    m_measparm->setReadOnly(true);
    m_measparm->setMaximumHeight(52);
    root->addWidget(m_measparm);

    m_cmstb = new QStatusBar(this);
    m_cmstb->setObjectName(QStringLiteral("cmstb"));
    root->addWidget(m_cmstb);

    m_readtimer = new QTimer(this);
    m_readtimer->setObjectName(QStringLiteral("readtimer"));
    m_readtimer->setInterval(240);

    connect(m_INITb, &QPushButton::clicked, this, &TCommFrm::INITbClick);
    connect(m_QuitCmd, &QPushButton::clicked, this, &TCommFrm::QuitCmdClick);
    connect(m_RunCmd, &QPushButton::clicked, this, &TCommFrm::RunCmdClick);
    connect(m_Readdatab, &QPushButton::clicked, this, &TCommFrm::ReaddatabClick);
    connect(m_clearlogb, &QPushButton::clicked, this, &TCommFrm::clearlogbClick);
    connect(m_savehostb, &QPushButton::clicked, this, &TCommFrm::savehostbClick);
    connect(m_adre, &QLineEdit::textChanged, this, &TCommFrm::adreChange);
    connect(m_porte, &QLineEdit::textChanged, this, &TCommFrm::porteChange);
    connect(&m_link, &ScpiLink::logLine, this, &TCommFrm::AddLog);
    connect(&m_link, &ScpiLink::socketStatus, m_cmstb,
            [this](const QString &t) { m_cmstb->showMessage(t); });
    connect(&m_link, &ScpiLink::valueRead, m_lastvall, &QLabel::setText);
    connect(&m_link, &ScpiLink::connectionLost, this, [this] {
        m_INITb->setEnabled(true);
        emit connectEnabledChanged(true);
    });
    connect(&m_link, &ScpiLink::connectAllowed, this, [this](bool allowed) {
        m_INITb->setEnabled(allowed);
        emit connectEnabledChanged(allowed);
    });
}

void TCommFrm::FormCreate()
{
    ShowDevice();
    setHistory(cmdhistory::load(historyPath()));
    m_link.timeoutcount = 0;
}

QString TCommFrm::historyPath() const
{
    return m_s.configDir + QStringLiteral("cmdhistory");
}

void TCommFrm::ShowDevice()
{
    m_adre->setText(m_s.host1);
    m_porte->setText(m_s.port1);
}

QString TCommFrm::address() const
{
    return m_adre->text();
}

QString TCommFrm::port() const
{
    return m_porte->text();
}

QString TCommFrm::connectHint() const
{
    return QStringLiteral(" Connect to: ") + m_adre->text() + QLatin1Char(':') + m_porte->text() +
           QLatin1Char(' ');
}

void TCommFrm::setMeasparm(const QString &configCmd, const QString &optionCmd)
{
    m_measparm->setPlainText(configCmd + QLatin1Char('\n') + optionCmd);
}

void TCommFrm::AddLog(const QString &line)
{
    // Lines wait in a queue of at most one log's worth and go into the memo together when
    // the event loop comes round: a series of two million readings logs a line each, and
    // one memo append per line would hold the window for minutes. While the console is
    // hidden the queue keeps the newest lines for its next showing, so opening it after the
    // start-up connect still shows how the link came up.
    m_pendingLog.push_back(line);
    if (m_pendingLog.size() > static_cast<size_t>(kLogLines)) {
        m_pendingLog.pop_front();
        m_pendingOverflow = true;
    }
    if (isVisible() && !m_flushQueued) {
        m_flushQueued = true;
        QTimer::singleShot(0, this, &TCommFrm::flushLog);
    }
}

void TCommFrm::flushLog()
{
    m_flushQueued = false;
    if (m_pendingLog.empty())
        return;
    // A full queue replaces the whole log: everything older has fallen out of it.
    if (m_pendingOverflow)
        m_commlogm->clear();
    m_pendingOverflow = false;
    QString text;
    for (const QString &l : m_pendingLog) {
        if (!text.isEmpty())
            text += QLatin1Char('\n');
        text += l;
    }
    m_pendingLog.clear();
    // The block limit drops the oldest lines once the log is full.
    m_commlogm->appendPlainText(text);
    m_commlogm->verticalScrollBar()->setValue(m_commlogm->verticalScrollBar()->maximum());
}

QStringList TCommFrm::history() const
{
    QStringList h;
    for (int i = 0; i < m_datalecb->count(); ++i)
        h << m_datalecb->itemText(i);
    return h;
}

void TCommFrm::setHistory(const QStringList &h)
{
    const QString text = m_datalecb->currentText();
    const QSignalBlocker block(m_datalecb);
    m_datalecb->clear();
    m_datalecb->addItems(h);
    m_datalecb->setEditText(text);
}

void TCommFrm::INITbClick()
{
    // One connect at a time: a second one would leave the link without a working socket.
    if (m_link.sequenceRunning())
        return;
    m_INITb->setEnabled(false);
    emit connectEnabledChanged(false);
    const int port = numtext::parseInt(m_porte->text()).value_or(m_lastValidPort);
    m_link.Connect(m_adre->text(), port);
    startPing();
    m_INITb->setEnabled(!m_link.connected());
    emit connectEnabledChanged(!m_link.connected());
    m_commlogm->setEnabled(true);
    m_measparm->setEnabled(true);
}

void TCommFrm::QuitCmdClick()
{
    m_link.Disconnect();
    m_INITb->setEnabled(true);
    emit connectEnabledChanged(true);
}

void TCommFrm::startPing()
{
    m_pingl->setText(QStringLiteral("Ping: ") + m_adre->text());
    QPointer<QLabel> label = m_pingl;
    m_pinger->ping(m_adre->text(), kPingTimeoutMs, [label](int ms) {
        if (label)
            label->setText(QStringLiteral("Ping: ") + QString::number(ms) + QStringLiteral("ms"));
    });
}

void TCommFrm::pinglClick()
{
    startPing();
}

void TCommFrm::sendTyped()
{
    const QString text = m_datalecb->currentText();
    m_link.SendCmd(text);
    QStringList h = history();
    cmdhistory::AddHistory(h, text);
    setHistory(h);
    m_datalecb->lineEdit()->selectAll();
}

void TCommFrm::datalecbKeyPress(bool ctrl)
{
    if (ctrl)
        m_RunCmd->setEnabled(false);
    sendTyped();
    if (ctrl) {
        m_link.ReadValue();
        m_RunCmd->setEnabled(true);
    }
    QStringList h = history();
    cmdhistory::PromoteHistory(h, m_datalecb->currentText());
    setHistory(h);
    m_datalecb->lineEdit()->selectAll();
}

void TCommFrm::RunCmdClick()
{
    m_RunCmd->setEnabled(false);
    sendTyped();
    m_link.ReadValue();
    m_RunCmd->setEnabled(true);
}

void TCommFrm::ReaddatabClick()
{
    m_Readdatab->setEnabled(false);
    m_link.ReadValue();
    m_Readdatab->setEnabled(true);
}

void TCommFrm::clearlogbClick()
{
    m_pendingLog.clear();
    m_pendingOverflow = false;
    m_commlogm->clear();
}

void TCommFrm::savehostbClick()
{
    m_savehostb->setEnabled(false);
    QString error;
    if (!settingsio::SaveAddress(m_s, m_adre->text(), m_porte->text(), &error))
        dialogs::ShowError(this, error);
    ScpiLink::DelayMs(500);
    m_savehostb->setEnabled(true);
}

void TCommFrm::adreChange()
{
    emit connectHintChanged(connectHint());
}

void TCommFrm::porteChange()
{
    const auto v = numtext::parseInt(m_porte->text());
    if (v)
        m_lastValidPort = *v;
    const QString text = QString::number(m_lastValidPort);
    if (m_porte->text() != text) {
        const QSignalBlocker block(m_porte);
        m_porte->setText(text);
    }
    emit connectHintChanged(connectHint());
}

bool TCommFrm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_pingl && event->type() == QEvent::MouseButtonRelease) {
        pinglClick();
        return true;
    }
    if ((watched == m_datalecb || watched == m_datalecb->lineEdit()) &&
        event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            datalecbKeyPress(key->modifiers() & Qt::ControlModifier);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TCommFrm::showEvent(QShowEvent *e)
{
    QWidget::showEvent(e);
    flushLog();
}

void TCommFrm::closeEvent(QCloseEvent *e)
{
    cmdhistory::save(historyPath(), history());
    if (m_mainVisible && m_mainVisible()) {
        // The console is only a view: closing it keeps the connection.
        e->ignore();
        hide();
        return;
    }
    m_link.Disconnect();
    e->accept();
}
