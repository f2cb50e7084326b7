// SPDX-License-Identifier: GPL-3.0-or-later
#include "helpwindow.h"

#include "app/settings.h"
#include "lang/helpsearch.h"

#include <QCheckBox>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>

THELPf::THELPf(const Settings &settings, QWidget *parent)
    : QWidget(parent, Qt::Window), m_s(settings)
{
    setObjectName(QStringLiteral("THELPf"));
    setWindowTitle(QStringLiteral("Tervaxis... - Help"));
    resize(720, 600);

    m_finde = new QLineEdit(QStringLiteral(" text to find "), this);
    m_finde->setObjectName(QStringLiteral("finde"));
    m_nextb = new QPushButton(QStringLiteral("&Next"), this);
    m_nextb->setObjectName(QStringLiteral("nextb"));
    m_nextb->setAutoDefault(false);
    m_foundl = new QLabel(QStringLiteral("00"), this);
    m_foundl->setObjectName(QStringLiteral("foundl"));
    m_foundl->setMinimumWidth(80);
    m_wrapcb = new QCheckBox(QStringLiteral("&Wrap"), this);
    m_wrapcb->setObjectName(QStringLiteral("wrapcb"));
    m_red1 = new QTextEdit(this);
    m_red1->setObjectName(QStringLiteral("red1"));
    m_red1->setReadOnly(true);
    m_red1->setLineWrapMode(QTextEdit::NoWrap);
    m_red1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_red1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The found text stays marked while the operator types in the search field.
    QPalette pal = m_red1->palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight,
                 pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Active, QPalette::HighlightedText));
    m_red1->setPalette(pal);
    QFont fixed(QStringLiteral("DejaVu Sans Mono"));
    fixed.setStyleHint(QFont::Monospace);
    m_red1->setFont(fixed);

    auto *bar = new QHBoxLayout;
    bar->addWidget(m_finde, 1);
    bar->addWidget(m_nextb);
    bar->addWidget(m_foundl);
    bar->addWidget(m_wrapcb);
    auto *col = new QVBoxLayout(this);
    col->addLayout(bar);
    col->addWidget(m_red1, 1);

    connect(m_finde, &QLineEdit::textChanged, this, &THELPf::findeChange);
    connect(m_nextb, &QPushButton::clicked, this, &THELPf::nextbClick);
    connect(m_red1, &QTextEdit::cursorPositionChanged, this, &THELPf::red1SelectionChange);
    connect(m_red1, &QTextEdit::selectionChanged, this, &THELPf::red1SelectionChange);
    connect(m_wrapcb, &QCheckBox::clicked, this, &THELPf::wrapcbClick);
}

QString THELPf::helpFilePath() const
{
    // The built-in stem follows the desktop's language, as the language file does; a stem
    // set in the settings file other than that one is taken as it is.
    QString stem = m_s.LocHelp;
    if (stem == QLatin1String("en") && m_s.Language == QLatin1String("German") &&
        QFile::exists(m_s.programDir + QStringLiteral("de.help")))
        stem = QStringLiteral("de");
    return m_s.programDir + stem + QStringLiteral(".help");
}

void THELPf::showEvent(QShowEvent *e)
{
    QWidget::showEvent(e);
    FormShow();
}

void THELPf::FormShow()
{
    const QString path = helpFilePath();
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        m_red1->setPlainText(QStringLiteral("File Error: ") + path);
        return;
    }
    const QString text = QString::fromUtf8(f.readAll());
    if (Qt::mightBeRichText(text))
        m_red1->setHtml(text);
    else
        m_red1->setPlainText(text);
}

void THELPf::selectAt(qsizetype at)
{
    QTextCursor c = m_red1->textCursor();
    c.setPosition(static_cast<int>(at));
    c.setPosition(static_cast<int>(at + m_finde->text().size()), QTextCursor::KeepAnchor);
    m_red1->setTextCursor(c);
    m_position = at;
    m_foundl->setText(QString::number(at + 1));
}

void THELPf::findeChange()
{
    const qsizetype at = help::findFrom(m_red1->toPlainText(), m_finde->text(), 0);
    if (at < 0) {
        m_position = 0;
        m_foundl->setText(QStringLiteral("not found!"));
        return;
    }
    selectAt(at);
}

void THELPf::nextbClick()
{
    const qsizetype at = help::findFrom(m_red1->toPlainText(), m_finde->text(),
                                        m_position + m_finde->text().size(), help::kSearchWindow);
    if (at < 0) {
        m_foundl->setText(QStringLiteral("not found!"));
        return;
    }
    selectAt(at);
}

void THELPf::red1SelectionChange()
{
    m_position = m_red1->textCursor().selectionStart();
}

void THELPf::wrapcbClick()
{
    m_red1->setLineWrapMode(m_wrapcb->isChecked() ? QTextEdit::WidgetWidth : QTextEdit::NoWrap);
}
