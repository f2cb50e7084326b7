// SPDX-License-Identifier: GPL-3.0-or-later
#include "helpwindow.h"

#include "app/settings.h"
#include "data/textcodec.h"

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextDocumentLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// Characters the search looks through before it lets the window handle events again.
constexpr qsizetype kSearchSlice = 4 << 20;

// Built on the loading thread, which must lay out nothing: a layout made there would keep
// that thread's font engines, which end with it.
QTextDocument *newDocument(const QFont &font)
{
    auto *doc = new QTextDocument;
    doc->setUndoRedoEnabled(false);
    doc->setDefaultFont(font);
    return doc;
}

} // namespace

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
    // A plain-text view lays out only what it shows, so a guide of many megabytes scrolls
    // and selects at once; a rich-text file keeps its character formats in it.
    m_red1 = new QPlainTextEdit(this);
    m_red1->setObjectName(QStringLiteral("red1"));
    m_red1->setReadOnly(true);
    m_red1->setLineWrapMode(QPlainTextEdit::NoWrap);
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
    m_searchLater = new QTimer(this);
    m_searchLater->setSingleShot(true);
    m_searchLater->setInterval(0);
    connect(m_searchLater, &QTimer::timeout, this, &THELPf::searchOn);

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
    connect(m_red1, &QPlainTextEdit::cursorPositionChanged, this, &THELPf::red1SelectionChange);
    connect(m_red1, &QPlainTextEdit::selectionChanged, this, &THELPf::red1SelectionChange);
    connect(m_wrapcb, &QCheckBox::clicked, this, &THELPf::wrapcbClick);
}

THELPf::~THELPf()
{
    ++m_generation;
    if (m_loader.joinable())
        m_loader.join();
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

bool THELPf::searching() const
{
    return !m_search.done();
}

void THELPf::showEvent(QShowEvent *e)
{
    QWidget::showEvent(e);
    FormShow();
}

void THELPf::replaceDocument(QTextDocument *doc)
{
    doc->setParent(this);
    if (doc->blockCount() <= 1)
        doc->setDocumentLayout(new QPlainTextDocumentLayout(doc));
    m_red1->setDocument(doc);
    delete m_doc;
    m_doc = doc;
}

// The file is read once; a show reads it again only when it changed on disk.
void THELPf::FormShow()
{
    const QString path = helpFilePath();
    const QFileInfo info(path);
    const Stamp stamp{path, info.exists() ? info.size() : -1,
                      info.exists() ? info.lastModified() : QDateTime()};
    if (stamp == m_stamp && m_stamp.size >= 0)
        return;
    m_stamp = stamp;
    m_ready = false;
    m_folded.clear();
    m_search.start({}, QString(), 0);
    m_searchLater->stop();
    m_lastWhat.clear();
    QTextDocument *waiting = newDocument(m_red1->font());
    waiting->setPlainText(QStringLiteral("Loading..."));
    replaceDocument(waiting);
    const quint64 generation = ++m_generation;
    if (m_loader.joinable())
        m_loader.join();
    QThread *gui = thread();
    m_loader = std::thread([this, path, generation, gui, font = m_red1->font()] {
        QTextDocument *doc = newDocument(font);
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) {
            doc->setPlainText(QStringLiteral("File Error: ") + path);
        } else {
            // Not UTF-8: the Western code page the older guides were written in.
            const QString text = decodeLegacyText(f.readAll(), LegacyCodepage::Windows1252);
            if (m_generation != generation) {
                delete doc;
                return;
            }
            if (Qt::mightBeRichText(text))
                doc->setHtml(text);
            else
                doc->setPlainText(text);
        }
        // Over many lines the layout only counts lines here, no font is looked at; one
        // line would be laid out at once, so that one gets its layout on the GUI thread.
        if (doc->blockCount() > 1)
            doc->setDocumentLayout(new QPlainTextDocumentLayout(doc));
        const QString folded = help::folded(doc->toPlainText());
        if (m_generation != generation) {
            delete doc;
            return;
        }
        doc->moveToThread(gui);
        QMetaObject::invokeMethod(
            this, [this, doc, folded, generation] { textArrived(doc, folded, generation); },
            Qt::QueuedConnection);
    });
}

void THELPf::textArrived(QTextDocument *doc, const QString &folded, quint64 generation)
{
    if (generation != m_generation) {
        delete doc;
        return;
    }
    if (m_loader.joinable())
        m_loader.join();
    replaceDocument(doc);
    m_folded = folded;
    m_ready = true;
    emit textLoaded();
    // What was typed while the text was on its way is looked for now.
    if (m_finde->isModified())
        findeChange();
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
    if (!m_ready) {
        m_finde->setModified(true);
        return;
    }
    const QString what = help::folded(m_finde->text());
    // One more letter: its first occurrence is at or after the shorter text's.
    qsizetype from = 0;
    if (!m_lastWhat.isEmpty() && what.startsWith(m_lastWhat))
        from = m_lastHit >= 0 ? m_lastHit : m_folded.size();
    m_search.start(m_folded, what, from);
    searchOn();
}

void THELPf::searchOn()
{
    if (!m_search.step(kSearchSlice)) {
        m_searchLater->start();
        return;
    }
    m_lastWhat = m_search.what();
    m_lastHit = m_search.result();
    if (m_lastHit < 0) {
        m_position = 0;
        m_foundl->setText(QStringLiteral("not found!"));
    } else {
        selectAt(m_lastHit);
    }
    emit searched();
}

void THELPf::nextbClick()
{
    const QString what = help::folded(m_finde->text());
    const qsizetype at =
        help::findFolded(m_folded, what, m_position + what.size(), help::kSearchWindow);
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
    m_red1->setLineWrapMode(m_wrapcb->isChecked() ? QPlainTextEdit::WidgetWidth
                                                  : QPlainTextEdit::NoWrap);
}
