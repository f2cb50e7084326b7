// SPDX-License-Identifier: GPL-3.0-or-later
#include "graphwindow.h"

#include "app/dialogs.h"
#include "app/numerickeyfilter.h"
#include "app/settings.h"
#include "data/clipboardcommands.h"
#include "data/datafile.h"
#include "data/datetime.h"
#include "data/numtext.h"
#include "graph/graphpainter.h"
#include "graph/noisewindow.h"
#include "lang/langtexts.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

const QEvent::Type kRequestEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// A posted window message with its code.
class GraphRequest : public QEvent
{
public:
    explicit GraphRequest(int code) : QEvent(kRequestEvent), code(code) {}
    int code;
};

TGraphFrm::OpenNameHandler &openNameHandler()
{
    static TGraphFrm::OpenNameHandler h;
    return h;
}

const QStringList kOpenFilters = {
    QStringLiteral("Comma separated (*.txt, *.csv) (*.txt *.csv)"),
    QStringLiteral("Tab separated (*.txt)"),
    QStringLiteral("Semicolon separated (*.csv)"),
    QStringLiteral("picoscope TAB separated txt (*.txt)"),
    QStringLiteral("any file (*.*)"),
};
const QStringList kSaveFilters = {
    QStringLiteral("Comma separated (*.txt, *.csv) (*.txt *.csv)"),
    QStringLiteral("Tab separated (*.txt)"),
    QStringLiteral("Semicolon separated (*.csv)"),
    QStringLiteral("any file (*.*)"),
};
constexpr int kDrawPaceMs = 330;
constexpr int kStatWidth = 236;
// The progress panel with its Cancel button.
constexpr int kPanelWidth = 340;
constexpr int kPanelHeight = 72;

QFrame *line(QWidget *parent, const char *name)
{
    auto *f = new QFrame(parent);
    f->setObjectName(QLatin1String(name));
    f->setStyleSheet(QStringLiteral("background: black;"));
    f->hide();
    return f;
}

QLabel *label(QWidget *parent, const char *name, const QFont &font)
{
    auto *l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    l->setFont(font);
    return l;
}

int ticksUntil(uint32_t t)
{
    return dtime::tickDiff(t, dtime::ticks());
}

} // namespace

void GraphImage::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.drawImage(0, 0, image);
}

TGraphFrm::TGraphFrm(Settings &settings, BigAry &buffer, QWidget *parent)
    : QMainWindow(parent), m_s(settings), m_buf(buffer), m_model(buffer)
{
    setObjectName(QStringLiteral("GraphFrm"));
    setWindowTitle(dialogs::kProgramName + QStringLiteral(" | Graph"));
    m_buf.Clear();
    buildMenus();
    buildWidgets();
    attachDataCommands();
    m_drawLater = new QTimer(this);
    m_drawLater->setSingleShot(true);
    connect(m_drawLater, &QTimer::timeout, this, &TGraphFrm::Draw);
    resize(1100, 720);
}

TGraphFrm::~TGraphFrm()
{
    // A job still running stops and is waited for; its records are not handed over.
    m_loadJob.reset();
    m_saveJob.reset();
    if (m_job != Job::None)
        m_buf.release();
}

void TGraphFrm::setEnvironmentSource(std::function<AutoSaver::Environment()> source)
{
    m_environment = std::move(source);
}

void TGraphFrm::setCurrentRecordSource(std::function<measpol()> source)
{
    m_current = std::move(source);
}

void TGraphFrm::setOpenNameHandler(OpenNameHandler h)
{
    openNameHandler() = std::move(h);
}

void TGraphFrm::postRefreshRequest()
{
    QCoreApplication::postEvent(this, new GraphRequest(kRefreshCode));
}

// The copy and analysis commands are built elsewhere and slotted into their places.
void TGraphFrm::attachDataCommands()
{
    const auto moveNewTo = [this](qsizetype before, QAction *place) {
        const QList<QAction *> all = m_Data1->actions();
        for (qsizetype i = before; i < all.size(); ++i) {
            m_Data1->removeAction(all[i]);
            m_Data1->insertAction(place, all[i]);
        }
    };
    const auto selection = [this] { return std::pair<qint64, qint64>(fromIndex(), toIndex()); };
    qsizetype count = m_Data1->actions().size();
    clipcmd::addGraphCopyItems(m_Data1, this, m_buf, selection, panel1(), m_s);
    moveNewTo(count, m_clipboardPlace);
    count = m_Data1->actions().size();
    NoiseWindow *noise = NoiseWindow::attach(m_Data1, m_buf, selection, m_s, this);
    noise->setSourceName([this] { return m_selectedFile; });
    moveNewTo(count, m_analysisPlace);
    connect(this, &TGraphFrm::rescaled, noise, &NoiseWindow::selectionChanged);
}

QWidget *TGraphFrm::panel1() const
{
    return m_Panel1;
}

QString TGraphFrm::statusText() const
{
    return m_GrafStatusBar->currentMessage();
}

void TGraphFrm::buildMenus()
{
    auto add = [this](QMenu *menu, const char *name, const QString &caption, auto slot) {
        QAction *a = menu->addAction(caption);
        a->setObjectName(QLatin1String(name));
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    auto toggle = [](QMenu *menu, const char *name, const QString &caption, bool on) {
        QAction *a = menu->addAction(caption);
        a->setObjectName(QLatin1String(name));
        a->setCheckable(true);
        a->setChecked(on);
        return a;
    };
    auto top = [this](const char *name, const QString &caption, auto slot) {
        QAction *a = menuBar()->addAction(caption);
        a->setObjectName(QLatin1String(name));
        connect(a, &QAction::triggered, this, slot);
        return a;
    };

    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("File1"));
    file->setToolTipsVisible(true);
    add(file, "Open1", QStringLiteral("Load..."), &TGraphFrm::Open1Click);
    add(file, "Loadappenddata1", QStringLiteral("Load - append data..."),
        &TGraphFrm::Loadappenddata1Click);
    add(file, "LoadCSVfromUSB1", QStringLiteral(" Load 884x CSV..."),
        &TGraphFrm::LoadCSVfromUSB1Click);
    file->addSeparator();
    add(file, "Save1", QStringLiteral("Save..."), &TGraphFrm::Save1Click);
    add(file, "Saveselecteddataonly1", QStringLiteral("Save - selected data only..."),
        &TGraphFrm::Saveselecteddataonly1Click);
    file->addSeparator();
    m_selectedfile1 =
        add(file, "selectedfile1", QStringLiteral(" - - - "), &TGraphFrm::selectedfile1Click);
    m_selectedfile1->setToolTip(QStringLiteral("open in explorer"));
    file->addSeparator();
    add(file, "Closebg", QStringLiteral("Close big Graph"), &QWidget::hide);

    m_Data1 = menuBar()->addMenu(QStringLiteral("D&ata"));
    m_Data1->setObjectName(QStringLiteral("Data1"));
    m_Data1->setToolTipsVisible(true);
    add(m_Data1, "Deleteselected1", QStringLiteral("Delete selected"),
        &TGraphFrm::Deleteselected1Click);
    add(m_Data1, "Drop1", QStringLiteral("Clear chart and buffer"), &TGraphFrm::Drop1Click);
    m_clipboardPlace = m_Data1->addSeparator();
    m_clipboardPlace->setObjectName(QStringLiteral("clipboardPlace"));
    m_analysisPlace = m_Data1->addSeparator();
    m_analysisPlace->setObjectName(QStringLiteral("analysisPlace"));
    m_Autoupdate1 = toggle(m_Data1, "Autoupdate1", QStringLiteral("Auto update"), true);
    m_Autoupdate1->setToolTip(QStringLiteral("refresh chart every 30 seconds "));
    m_ShowStatistic1 = toggle(m_Data1, "ShowStatistic1", QStringLiteral("Show statistic"), true);
    connect(m_ShowStatistic1, &QAction::toggled, this, [this](bool on) {
        m_StatGB->setVisible(on);
        FormResize();
    });
    m_SecGraph1 = toggle(m_Data1, "SecGraph1", QStringLiteral("Secondary graph"), false);
    connect(m_SecGraph1, &QAction::toggled, this, [this](bool on) {
        m_model.setSecondary(on);
        if (on) {
            Repaint1Click();
        } else {
            m_seclabel->hide();
            m_maxlab2->hide();
            m_minlab2->hide();
            rebuildAndDraw();
        }
    });
    QAction *sep = m_Data1->addSeparator();
    m_hiddenItems << sep
                  << add(m_Data1, "milion1", QStringLiteral("Generate noise sine, 157kS"),
                         &TGraphFrm::milion1Click)
                  << add(m_Data1, "Generatepuresine1", QStringLiteral("Generate pure sine, 1MS"),
                         &TGraphFrm::Generatepuresine1Click)
                  << add(m_Data1, "Generateonesinevawe1",
                         QStringLiteral("Generate one sine wave booth charts"),
                         &TGraphFrm::Generateonesinevawe1Click)
                  << add(m_Data1, "N6values1", QStringLiteral("6 values"),
                         &TGraphFrm::N6values1Click);
    m_N2pixel1 = toggle(m_Data1, "N2pixel1", QStringLiteral("2 pixel line"), false);
    connect(m_N2pixel1, &QAction::triggered, this, &TGraphFrm::Repaint1Click);
    m_hiddenItems << m_N2pixel1;
    for (QAction *a : m_hiddenItems)
        a->setVisible(false);
    connect(m_Data1, &QMenu::aboutToShow, this, [this] {
        if (QGuiApplication::queryKeyboardModifiers() & Qt::ShiftModifier) {
            for (QAction *a : m_hiddenItems)
                a->setVisible(true);
        }
    });

    top("ZoomIN1", QStringLiteral("Zoom IN&+"), &TGraphFrm::ZoomIN1Click);
    top("ZoomOUT1", QStringLiteral("Zoom OUT&-"), &TGraphFrm::ZoomOUT1Click);
    top("VerticalIN1", QStringLiteral("Vertical &IN"), &TGraphFrm::VerticalIN1Click);
    top("VerticalOUT1", QStringLiteral("Vertical &OUT"), &TGraphFrm::VerticalOUT1Click);
    top("UP1", QStringLiteral("&Up"), &TGraphFrm::UP1Click);
    top("Down1", QStringLiteral("&Down"), &TGraphFrm::Down1Click);
    QAction *repaint = top("Repaint1", QStringLiteral("Refresh F5"), &TGraphFrm::Repaint1Click);
    repaint->setShortcut(Qt::Key_F5);
    m_zoomlevel1 = menuBar()->addAction(QStringLiteral("1 ~ 0.00 [1px]"));
    m_zoomlevel1->setObjectName(QStringLiteral("zoomlevel1"));
    m_zoomlevel1->setEnabled(false);
}

void TGraphFrm::buildWidgets()
{
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setFamily(QStringLiteral("DejaVu Sans Mono"));
    mono.setPointSize(8);

    auto *central = new QWidget(this);
    setCentralWidget(central);
    m_Panel1 = new QFrame(central);
    m_Panel1->setObjectName(QStringLiteral("Panel1"));
    m_Imgraf = new GraphImage(m_Panel1);
    m_Imgraf->setObjectName(QStringLiteral("Imgraf"));
    m_Imgraf->setMouseTracking(true);
    m_Imgraf->installEventFilter(this);
    m_Imgraf->setCursor(Qt::CrossCursor);

    m_maxlab1 = label(m_Panel1, "maxlab1", mono);
    m_minlab1 = label(m_Panel1, "minlab1", mono);
    m_maxlab2 = label(m_Panel1, "maxlab2", mono);
    m_minlab2 = label(m_Panel1, "minlab2", mono);
    for (QLabel *l : {m_maxlab1, m_minlab1})
        l->setStyleSheet(QStringLiteral("color: rgb(0,128,0);"));
    for (QLabel *l : {m_maxlab2, m_minlab2}) {
        l->setStyleSheet(QStringLiteral("color: rgb(0,0,128);"));
        l->hide();
    }
    for (QLabel *l : {m_maxlab1, m_minlab1, m_maxlab2, m_minlab2})
        l->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_bevelx1 = line(m_Imgraf, "bevelx1");
    m_bevelx2 = line(m_Imgraf, "bevelx2");
    m_bevely1 = line(m_Imgraf, "bevely1");
    m_bevely2 = line(m_Imgraf, "bevely2");
    m_histbevel = new QFrame(m_Imgraf);
    m_histbevel->setObjectName(QStringLiteral("histbevel"));
    m_histbevel->setFrameShape(QFrame::Box);
    m_histbevel->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_histbevel->hide();
    m_loadpan = label(m_Panel1, "loadpan", mono);
    m_loadpan->setStyleSheet(QStringLiteral(
        "color: rgb(62,36,114); background: rgb(255,255,225); border: 1px solid gray;"));
    m_loadpan->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_loadpan->setContentsMargins(0, 6, 0, 0);
    m_loadcancelb = new QPushButton(QStringLiteral("Cancel"), m_loadpan);
    m_loadcancelb->setObjectName(QStringLiteral("loadcancelb"));
    m_loadcancelb->setGeometry(kPanelWidth / 2 - 45, kPanelHeight - 32, 90, 26);
    connect(m_loadcancelb, &QPushButton::clicked, this, &TGraphFrm::cancelJob);
    // Esc stops the load or save from any window of the program: the operator may have
    // gone back to the main window meanwhile.
    m_cancelKey = new QShortcut(QKeySequence(Qt::Key_Escape), this, nullptr, nullptr,
                                Qt::ApplicationShortcut);
    m_cancelKey->setEnabled(false);
    connect(m_cancelKey, &QShortcut::activated, this, &TGraphFrm::cancelJob);
    m_loadpan->hide();

    m_vertikalsb = new QScrollBar(Qt::Horizontal, central);
    m_vertikalsb->setObjectName(QStringLiteral("vertikalsb"));
    connect(m_vertikalsb, &QScrollBar::valueChanged, this, &TGraphFrm::vertikalsbScroll);

    m_StatGB = new QGroupBox(QStringLiteral(" Statistic "), central);
    m_StatGB->setObjectName(QStringLiteral("StatGB"));
    auto *stat = new QVBoxLayout(m_StatGB);
    stat->setSpacing(2);
    stat->setContentsMargins(4, 4, 4, 4);
    m_totall = label(m_StatGB, "totall", mono);
    stat->addWidget(m_totall);
    auto rangeEdit = [&](const char *name, const QString &caption) {
        auto *row = new QHBoxLayout;
        auto *l = new QLabel(caption, m_StatGB);
        l->setFont(mono);
        auto *e = new QLineEdit(m_StatGB);
        e->setObjectName(QLatin1String(name));
        e->setFont(mono);
        e->setMaxLength(9);
        e->setFixedWidth(100);
        l->setBuddy(e);
        NumericKeyFilter::install(e);
        e->installEventFilter(this);
        row->addWidget(l);
        row->addStretch();
        row->addWidget(e);
        stat->addLayout(row);
        return e;
    };
    m_fromle = rangeEdit("fromle", QStringLiteral("Fro&m"));
    m_tole = rangeEdit("tole", QStringLiteral("&To"));
    m_millab = label(m_StatGB, "millab", mono);
    m_meanlab = label(m_StatGB, "meanlab", mono);
    m_rmslab = label(m_StatGB, "rmslab", mono);
    m_bhistoi = label(m_StatGB, "bhistoi", mono);
    m_bhistoi->setFixedSize(100, 100);
    m_bhistoi->setMouseTracking(true);
    m_bhistoi->installEventFilter(this);
    m_cursorlabel = label(m_StatGB, "cursorlabel", mono);
    m_cursorlabel->hide();
    m_seclabel = label(m_StatGB, "seclabel", mono);
    m_seclabel->setStyleSheet(QStringLiteral("color: rgb(0,0,128);"));
    m_seclabel->hide();
    for (QWidget *w : {static_cast<QWidget *>(m_millab), static_cast<QWidget *>(m_meanlab),
                       static_cast<QWidget *>(m_rmslab), static_cast<QWidget *>(m_bhistoi),
                       static_cast<QWidget *>(m_cursorlabel), static_cast<QWidget *>(m_seclabel)})
        stat->addWidget(w);
    stat->addStretch();

    m_GrafStatusBar = new QStatusBar(this);
    m_GrafStatusBar->setObjectName(QStringLiteral("GrafStatusBar"));
    setStatusBar(m_GrafStatusBar);
    for (QLineEdit *e : {m_fromle, m_tole})
        rangeEditExit(e, e == m_fromle);
}

void TGraphFrm::resizeEvent(QResizeEvent *e)
{
    QMainWindow::resizeEvent(e);
    FormResize();
}

void TGraphFrm::hideEvent(QHideEvent *e)
{
    QMainWindow::hideEvent(e);
    m_seenShown = false;
}

void TGraphFrm::showEvent(QShowEvent *e)
{
    QMainWindow::showEvent(e);
    if (m_job == Job::None)
        m_loadpan->hide();
    FormResize();
    CursorReadout(-9999, -9999);
}

void TGraphFrm::FormResize()
{
    QWidget *client = centralWidget();
    const int left = 4;
    const int statWidth = m_ShowStatistic1->isChecked() ? kStatWidth : 0;
    const int width = std::max(client->width() - 2 * left - statWidth, 20);
    const int sbHeight = m_vertikalsb->sizeHint().height();
    const int panelHeight = std::max(client->height() - 2 * left - sbHeight - 2, 20);
    m_Panel1->setGeometry(left, left, width, panelHeight);
    m_vertikalsb->setGeometry(left, left + panelHeight + 2, width, sbHeight);
    m_StatGB->setGeometry(left + width + 2, 0, kStatWidth - 4, client->height());
    m_Imgraf->setGeometry(0, 0, width, panelHeight);
    m_model.setImageSize(width, panelHeight);
    m_Imgraf->image = QImage(width, panelHeight, QImage::Format_RGB32);
    m_Imgraf->image.fill(graphpaint::kBackground);
    for (QLabel *l : {m_maxlab1, m_minlab1, m_maxlab2, m_minlab2})
        l->adjustSize();
    m_maxlab1->move(2, 2);
    m_minlab1->move(2, panelHeight - 10 - m_minlab1->height());
    m_maxlab2->move(width - m_maxlab2->width() - 2, 2);
    m_minlab2->move(width - m_minlab2->width() - 2, panelHeight - 10 - m_minlab2->height());
    m_loadpan->setGeometry((width - kPanelWidth) / 2, (panelHeight - kPanelHeight) / 2, kPanelWidth,
                           kPanelHeight);
    // Readings taken while the window was hidden: it opens on the buffer as it is now.
    const bool grown = m_buf.bigarycnt() != m_seenCount || m_buf.bigarypos() != m_seenPos;
    if (grown && (!isVisible() || !m_seenShown))
        Rescale(0, m_buf.High());
    else
        Rescale(-1, -1);
    m_seenShown = isVisible();
    m_model.buildColumns();
    m_nextDraw = 0;
    Draw();
    m_histbevel->resize(width, static_cast<int>(std::lround(panelHeight / 100.0)) + 1);
}

void TGraphFrm::Rescale(qint64 from, qint64 to, bool fromScrollBar)
{
    m_model.decSep = m_s.DecSeparator;
    m_model.rescale(from, to);
    m_seenCount = m_buf.bigarycnt();
    m_seenPos = m_buf.bigarypos();
    m_totall->setText(m_model.totalText());
    m_millab->setText(m_model.statisticText());
    m_maxlab1->setText(m_model.aligned(m_model.primary().max));
    m_minlab1->setText(m_model.aligned(m_model.primary().min));
    m_maxlab2->setText(m_model.aligned(m_model.secondaryStats().max));
    m_minlab2->setText(m_model.aligned(m_model.secondaryStats().min));
    for (QLabel *l : {m_maxlab1, m_minlab1, m_maxlab2, m_minlab2})
        l->adjustSize();
    for (QLineEdit *e : {m_fromle, m_tole}) {
        const qint64 v = e == m_fromle ? m_model.from() : m_model.to();
        e->setText(e->hasFocus() ? QString::number(v) : pad8(v));
    }
    m_meanlab->setText(m_model.meanText());
    m_rmslab->setText(m_model.rmsText());
    const ScrollSetup &s = m_model.scrollSetup();
    {
        const QSignalBlocker block(m_vertikalsb);
        m_vertikalsb->setRange(static_cast<int>(s.minimum), static_cast<int>(s.maximum));
        m_vertikalsb->setPageStep(static_cast<int>(s.pageStep));
        m_vertikalsb->setSingleStep(static_cast<int>(s.singleStep));
        if (!fromScrollBar)
            m_vertikalsb->setValue(static_cast<int>(s.position));
    }
    emit rescaled(m_model.from(), m_model.to());
}

void TGraphFrm::Draw()
{
    const int wait = m_nextDraw != 0 ? ticksUntil(m_nextDraw) : 0;
    if (wait > 0) {
        // Drawing is paced; the latest state is drawn when the pause is over, so the
        // picture never stays behind the labels.
        if (!m_drawLater->isActive())
            m_drawLater->start(wait);
        return;
    }
    m_drawLater->stop();
    QImage &img = m_Imgraf->image;
    if (img.isNull())
        return;
    graphpaint::paintGraph(img, m_model, m_N2pixel1->isChecked(), m_SecGraph1->isChecked());
    m_Imgraf->update();
    QImage hist(100, 100, QImage::Format_RGB32);
    graphpaint::paintHistogram(hist, m_model, m_StatGB->palette().color(QPalette::Window));
    m_bhistoi->setPixmap(QPixmap::fromImage(hist));
    if (isVisible())
        m_zoomlevel1->setText(m_model.zoomLevelText());
    m_nextDraw = dtime::ticks() + kDrawPaceMs;
}

// The cursor label and cross-hair follow every new picture, not only the next mouse move.
void TGraphFrm::rebuildAndDraw()
{
    m_model.buildColumns();
    Draw();
    CursorReadout(-9999, -9999);
}

void TGraphFrm::rescaleAll()
{
    Rescale(0, m_buf.High());
    rebuildAndDraw();
}

void TGraphFrm::Repaint1Click()
{
    if (refusedWhileBusy())
        return;
    QElapsedTimer t;
    t.start();
    Rescale(0, m_buf.High());
    m_model.buildColumns();
    const qint64 math = t.elapsed();
    Draw();
    const qint64 total = t.elapsed();
    CursorReadout(m_model.width() - 1, m_model.height() / 2);
    setStatus(QStringLiteral(" Repaint lasted: %1 ms (mathematic: %2 ms; painting: %3 ms)")
                  .arg(total)
                  .arg(math)
                  .arg(total - math));
}

// The statistics words of the labels, as the language file gave them.
void TGraphFrm::changeEvent(QEvent *e)
{
    QMainWindow::changeEvent(e);
    if (e->type() != QEvent::LanguageChange)
        return;
    static const std::pair<QString GraphTexts::*, const char16_t *> words[] = {
        {&GraphTexts::total, u"sTotal"}, {&GraphTexts::from, u"sFrom"},
        {&GraphTexts::to, u"sTo"},       {&GraphTexts::count, u"sCount"},
        {&GraphTexts::mean, u"sMean"},   {&GraphTexts::rms, u"sRms"},
        {&GraphTexts::min, u"sMin"},     {&GraphTexts::max, u"sMax"},
        {&GraphTexts::range, u"sRange"}, {&GraphTexts::pkpk, u"sPkPk"},
        {&GraphTexts::first, u"sFirst"}, {&GraphTexts::units, u"sUnits"},
        {&GraphTexts::resol, u"sResol"}};
    for (const auto &[member, key] : words)
        m_model.texts.*member = lang::text(key);
    Rescale(-1, -1);
    rebuildAndDraw();
}

bool TGraphFrm::event(QEvent *e)
{
    if (e->type() == kRequestEvent) {
        if (static_cast<GraphRequest *>(e)->code == kRefreshCode)
            autoRefresh();
        return true;
    }
    return QMainWindow::event(e);
}

void TGraphFrm::autoRefresh()
{
    if (m_busy || !isVisible() || !m_Autoupdate1->isChecked())
        return;
    if (m_refreshed && ticksUntil(m_nextRefresh) > 0)
        return;
    if (m_buf.bigarycnt() <= m_lastRefreshCount)
        return;
    rescaleAll();
    m_refreshed = true;
    m_nextRefresh = dtime::ticks() + static_cast<uint32_t>(m_autoRefreshMs);
    m_lastRefreshCount = m_buf.bigarycnt();
    CursorReadout(m_model.width() - 1, m_model.height() / 2);
}

void TGraphFrm::CursorReadout(int x, int y)
{
    if (x != -9999)
        m_cursorX = x;
    if (y != -9999)
        m_cursorY = y;
    x = m_model.columnAt(m_cursorX);
    y = m_cursorY;
    m_cursorlabel->setText(m_model.cursorText(x));
    const GraphColumn &c = m_model.columns()[static_cast<size_t>(x)];
    const bool sec = m_SecGraph1->isChecked();
    if (sec) {
        const measpol &r = m_model.record(c.firstIdx);
        m_seclabel->setText(m_model.aligned(r.value2) + r.Lunits2.toString());
    }
    m_seclabel->setVisible(sec && m_cursorlabel->isVisible());
    m_maxlab2->setVisible(sec);
    m_minlab2->setVisible(sec);
    setStatus(m_model.cursorStatus(x, y));
    const int h = m_model.height(), w = m_model.width();
    m_bevely1->setGeometry(x + 2, 2, 1, std::max(y - 9, 0));
    m_bevely2->setGeometry(x + 2, y + 12, 1, std::max(h - y - 12, 0));
    const long double top = m_model.baseline() -
                            std::nearbyint((c.mean1 - m_model.primary().min) * m_model.scale1()) +
                            1;
    const int t = static_cast<int>(std::clamp<long double>(top, -100000, 100000));
    m_bevelx1->setGeometry(2, t, std::max(x - 9, 0), 1);
    m_bevelx2->setGeometry(x + 12, t, std::max(w - x - 12, 0), 1);
}

void TGraphFrm::showCrossHair(bool on)
{
    for (QFrame *f : {m_bevelx1, m_bevelx2, m_bevely1, m_bevely2})
        f->setVisible(on);
    m_cursorlabel->setVisible(on);
    m_seclabel->setVisible(on && m_SecGraph1->isChecked());
    if (on)
        m_histbevel->hide();
}

void TGraphFrm::histogramHover(int x)
{
    setStatus(m_model.histogramStatus(x));
    const int h = m_model.height();
    m_histbevel->move(0, h - static_cast<int>(std::lround(h / 100.0 * (x + 1))) + 2);
}

bool TGraphFrm::eventFilter(QObject *watched, QEvent *e)
{
    if (watched == m_Imgraf) {
        switch (e->type()) {
        case QEvent::MouseMove: {
            const QPoint p = static_cast<QMouseEvent *>(e)->position().toPoint();
            CursorReadout(p.x(), p.y());
            break;
        }
        case QEvent::MouseButtonPress:
            ImgrafMouseDown(static_cast<QMouseEvent *>(e));
            return true;
        case QEvent::Enter: {
            const QPoint p = m_Imgraf->mapFromGlobal(QCursor::pos());
            CursorReadout(p.x(), p.y());
            showCrossHair(true);
            break;
        }
        case QEvent::Leave:
            showCrossHair(false);
            break;
        default:
            break;
        }
    } else if (watched == m_bhistoi) {
        if (e->type() == QEvent::Enter)
            m_histbevel->show();
        else if (e->type() == QEvent::Leave)
            m_histbevel->hide();
        else if (e->type() == QEvent::MouseMove)
            histogramHover(static_cast<QMouseEvent *>(e)->position().toPoint().x());
    } else if (watched == m_fromle || watched == m_tole) {
        auto *edit = static_cast<QLineEdit *>(watched);
        const bool isFrom = edit == m_fromle;
        if (e->type() == QEvent::FocusIn) {
            rangeEditEnter(edit, isFrom);
        } else if (e->type() == QEvent::FocusOut) {
            rangeEditExit(edit, isFrom);
        } else if (e->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(e)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                rangeEditReturn(edit, isFrom);
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, e);
}

void TGraphFrm::rangeEditEnter(QLineEdit *edit, bool isFrom)
{
    edit->setText(QString::number(isFrom ? m_model.from() : m_model.to()));
    edit->setStyleSheet(QString());
    QMetaObject::invokeMethod(edit, &QLineEdit::selectAll, Qt::QueuedConnection);
}

void TGraphFrm::rangeEditExit(QLineEdit *edit, bool isFrom)
{
    edit->setStyleSheet(QStringLiteral("QLineEdit { background: palette(button); }"));
    edit->setText(pad8(isFrom ? m_model.from() : m_model.to()));
}

void TGraphFrm::rangeEditReturn(QLineEdit *edit, bool isFrom)
{
    const auto typed = numtext::parseInt(edit->text());
    qint64 v = isFrom ? m_model.from() : m_model.to();
    if (typed)
        v = std::max(*typed, 0);
    edit->setProperty("tag", QVariant::fromValue(v));
    if (isFrom)
        Rescale(v, m_model.to());
    else
        Rescale(m_model.from(), v);
    rebuildAndDraw();
}

void TGraphFrm::ImgrafMouseDown(QMouseEvent *e)
{
    if (e->modifiers() != Qt::NoModifier)
        return;
    GraphModel::Range r{};
    if (e->button() == Qt::LeftButton)
        r = m_model.zoomInRange(m_model.columnAt(static_cast<int>(e->position().x())));
    else if (e->button() == Qt::RightButton)
        r = m_model.zoomOutMouseRange();
    else
        return;
    Rescale(r.from, r.to);
    rebuildAndDraw();
}

void TGraphFrm::wheelEvent(QWheelEvent *e)
{
    const int dy = e->angleDelta().y();
    if (dy == 0)
        return;
    const bool shift = e->modifiers() & Qt::ShiftModifier;
    if (dy > 0)
        shift ? UP1Click() : VerticalIN1Click();
    else
        shift ? Down1Click() : VerticalOUT1Click();
    e->accept();
}

void TGraphFrm::ZoomIN1Click()
{
    const GraphModel::Range r = m_model.zoomInRange(m_model.width() / 2);
    Rescale(r.from, r.to);
    rebuildAndDraw();
}

void TGraphFrm::ZoomOUT1Click()
{
    const GraphModel::Range r = m_model.zoomOutMenuRange();
    Rescale(r.from, r.to);
    rebuildAndDraw();
}

void TGraphFrm::VerticalIN1Click()
{
    m_model.verticalIn();
    rebuildAndDraw();
}

void TGraphFrm::VerticalOUT1Click()
{
    m_model.verticalOut();
    rebuildAndDraw();
}

void TGraphFrm::UP1Click()
{
    m_model.moveUp();
    rebuildAndDraw();
}

void TGraphFrm::Down1Click()
{
    m_model.moveDown();
    rebuildAndDraw();
}

void TGraphFrm::vertikalsbScroll(int position)
{
    const GraphModel::Range r = m_model.scrollRange(position);
    Rescale(r.from, r.to, true);
    rebuildAndDraw();
}

void TGraphFrm::setStatus(const QString &text)
{
    m_GrafStatusBar->showMessage(text);
}

void TGraphFrm::selectFile(const QString &path)
{
    m_selectedFile = path;
    const QString name = QFileInfo(path).fileName();
    setWindowTitle(QStringLiteral("Graph - ") + name);
    m_selectedfile1->setText(name);
}

QString TGraphFrm::openFileName(int *filterIndex)
{
    if (openNameHandler())
        return openNameHandler()(filterIndex);
    return dialogs::GetOpenFileName(this, QString(), m_s.DataDir, kOpenFilters, filterIndex);
}

void TGraphFrm::Open1Click()
{
    load(graphload::Format::DataFile, graphload::Mode::Replace);
}

void TGraphFrm::Loadappenddata1Click()
{
    load(graphload::Format::DataFile, graphload::Mode::Append);
}

void TGraphFrm::LoadCSVfromUSB1Click()
{
    load(graphload::Format::Instrument, graphload::Mode::Replace);
}

bool TGraphFrm::refusedWhileBusy()
{
    if (m_job == Job::None)
        return m_busy;
    setStatus(m_job == Job::Load ? QStringLiteral(" Busy loading a file - Esc cancels")
                                 : QStringLiteral(" Busy saving a file - Esc cancels"));
    return true;
}

void TGraphFrm::beginJob(Job job)
{
    m_job = job;
    m_busy = true;
    // Readings taken meanwhile wait and go in after the loaded or saved records.
    m_buf.hold();
    m_before = {windowTitle(), m_selectedfile1->text(), m_selectedFile};
    m_loadpan->setText(QString());
    m_loadpan->show();
    m_loadpan->raise();
    m_focusBefore = QApplication::focusWidget();
    if (isVisible())
        activateWindow(); // the window the command came from takes Esc and the keys
    m_loadcancelb->setFocus();
    m_cancelKey->setEnabled(true);
}

void TGraphFrm::endJob(bool restoreName)
{
    m_job = Job::None;
    m_busy = false;
    m_cancelKey->setEnabled(false);
    // The focus goes back where it was, not to the next field in line.
    if (m_loadcancelb->hasFocus()) {
        if (m_focusBefore)
            m_focusBefore->setFocus();
        else
            m_loadcancelb->clearFocus();
    }
    if (restoreName) {
        setWindowTitle(m_before.title);
        m_selectedfile1->setText(m_before.menuText);
        m_selectedFile = m_before.file;
    }
}

void TGraphFrm::cancelJob()
{
    if (m_loadJob)
        m_loadJob->cancel();
    if (m_saveJob)
        m_saveJob->cancel();
}

void TGraphFrm::load(graphload::Format format, graphload::Mode mode)
{
    if (refusedWhileBusy())
        return;
    int filter = 3;
    const QString path = openFileName(&filter);
    if (path.isEmpty())
        return;
    graphload::LoadJob::Params p;
    p.path = path;
    p.format = format;
    p.sep = ',';
    if (format == graphload::Format::DataFile) {
        const graphload::Reading r = graphload::readingFor(path, filter);
        p.format = r.format;
        p.sep = r.sep;
    }
    p.mode = mode;
    p.decSep = m_s.DecSeparator;
    p.width = m_model.width();
    p.height = m_model.height();
    p.secondary = m_SecGraph1->isChecked();
    const qint64 need =
        graphload::bytesForRecords(graphload::recordsForLoad(m_buf, mode, QFileInfo(path).size()));
    const auto askInPlace = [&] {
        return dialogs::AskYesNo(
            this, windowTitle(),
            QStringLiteral("Not enough memory to keep the buffer while the file loads "
                           "(%1 MB needed, %2 MB free).\nLoad into the buffer itself? "
                           "Cancelling the load then loses the old data.")
                .arg(need >> 20)
                .arg(graphload::availableMemory() >> 20));
    };
    if (need > graphload::availableMemory()) {
        if (!askInPlace())
            return;
        p.inPlace = true;
    }
    auto job = std::make_unique<graphload::LoadJob>(m_buf, p);
    if (!job->start()) {
        if (!askInPlace())
            return;
        p.inPlace = true;
        job = std::make_unique<graphload::LoadJob>(m_buf, p);
        job->start();
    }
    // Two buffers are in memory until the hand-over; the old one's shadow need not be.
    m_model.releaseShadow();
    m_loadJob = std::move(job);
    beginJob(Job::Load);
    selectFile(path);
    connect(m_loadJob.get(), &graphload::LoadJob::progress, m_loadpan, &QLabel::setText);
    connect(m_loadJob.get(), &graphload::LoadJob::finished, this, &TGraphFrm::loadFinished);
}

void TGraphFrm::loadFinished(const graphload::Result &r)
{
    const bool inPlace = m_loadJob->params().inPlace;
    m_loadJob->handOver(m_model);
    const bool unchanged = !r.opened || (r.cancelled && !inPlace);
    endJob(r.cancelled && !inPlace);
    if (!unchanged)
        rescaleAll();
    if (r.cancelled) {
        m_loadpan->hide();
        setStatus(inPlace ? graphload::loadedStatus(m_buf, r) + QStringLiteral(" - cancelled")
                          : QStringLiteral(" Load cancelled"));
    } else if (!r.ok) {
        dialogs::ShowError(this, m_loadJob->params().path + QStringLiteral("\n") + r.error);
    } else {
        setStatus(graphload::loadedStatus(m_buf, r));
        m_millab->setText(m_millab->text() + QStringLiteral("\nLines: ") +
                          QString::number(m_buf.bigarycnt()));
        m_loadpan->hide();
    }
    m_buf.release();
}

void TGraphFrm::Save1Click()
{
    save(false);
}

void TGraphFrm::Saveselecteddataonly1Click()
{
    save(true);
}

void TGraphFrm::save(bool selectedOnly)
{
    if (refusedWhileBusy())
        return;
    const AutoSaver::Environment env = m_environment ? m_environment() : AutoSaver::Environment();
    int filter = 3;
    QString path = dialogs::GetSaveFileName(
        this, QString(), m_s.DataDir + datafile::proposedFileName(env.start.readingStamp),
        kSaveFilters, &filter);
    if (path.isEmpty())
        return;
    graphload::SaveJob::Params p;
    p.kind = datafile::kindFromFilterIndex(filter);
    p.path = path + datafile::suffixOf(p.kind);
    p.decSep = env.decSep;
    p.ids = env.ids;
    p.start = env.start;
    p.from = selectedOnly ? m_model.from() : 0;
    p.to = selectedOnly ? m_model.to() : m_buf.High();
    beginJob(Job::Save);
    selectFile(p.path);
    m_saveJob = std::make_unique<graphload::SaveJob>(m_buf, p);
    connect(m_saveJob.get(), &graphload::SaveJob::progress, m_loadpan, &QLabel::setText);
    connect(m_saveJob.get(), &graphload::SaveJob::finished, this,
            [this, path = p.path](bool ok, const QString &error) {
                m_saveJob.release()->deleteLater(); // its signal is still on the way out
                const bool cancelled = !ok && error.isEmpty();
                endJob(cancelled);
                m_loadpan->hide();
                m_buf.release();
                if (cancelled)
                    setStatus(QStringLiteral(" Save cancelled"));
                else if (!ok)
                    dialogs::ShowError(this, path + QStringLiteral("\n") + error);
                else
                    setStatus(QStringLiteral("Saved."));
            });
    m_saveJob->start();
}

void TGraphFrm::selectedfile1Click()
{
    if (m_selectedFile.isEmpty())
        return;
    // The desktop's file manager with the file selected; else just its folder.
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(m_selectedFile).toString()} << QString();
    const QUrl folder = QUrl::fromLocalFile(QFileInfo(m_selectedFile).absolutePath());
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        QDesktopServices::openUrl(folder);
        return;
    }
    // Asked without waiting, so a missing or slow file manager never holds the window.
    auto *watch = new QDBusPendingCallWatcher(bus.asyncCall(call, 3000), this);
    connect(watch, &QDBusPendingCallWatcher::finished, this, [folder](QDBusPendingCallWatcher *w) {
        if (w->isError())
            QDesktopServices::openUrl(folder);
        w->deleteLater();
    });
}

void TGraphFrm::Drop1Click()
{
    if (refusedWhileBusy() || !dialogs::AskYesNo(this, windowTitle(), lang::text(u"sClearBuffer")))
        return;
    setWindowTitle(dialogs::kProgramName + QStringLiteral(" Graph"));
    m_selectedfile1->setText(QStringLiteral(" - - - "));
    m_selectedFile.clear();
    m_buf.Clear();
    m_model.invalidateShadow();
    Rescale(0, 0);
    m_lastRefreshCount = 0;
    rebuildAndDraw();
}

void TGraphFrm::Deleteselected1Click()
{
    if (refusedWhileBusy() || !dialogs::AskYesNo(this, windowTitle(), lang::text(u"sDeleteSelDa")))
        return;
    m_model.deleteRange(m_model.from(), m_model.to());
    QMetaObject::invokeMethod(this, &TGraphFrm::Repaint1Click, Qt::QueuedConnection);
}

void TGraphFrm::generate(testsignals::Signal signal)
{
    if (refusedWhileBusy())
        return;
    const bool ask = signal != testsignals::Signal::SixValues;
    if (ask && !dialogs::AskYesNo(this, windowTitle(), sGenerate))
        return;
    const measpol current = m_current ? m_current() : measpol{};
    m_busy = true;
    testsignals::generate(m_buf, signal, current, [this](qint64 n) {
        setStatus(QString::number(n));
        QCoreApplication::processEvents();
    });
    m_busy = false;
    m_model.invalidateShadow();
    if (ask)
        rescaleAll();
}

void TGraphFrm::milion1Click()
{
    generate(testsignals::Signal::NoiseSine);
}

void TGraphFrm::Generatepuresine1Click()
{
    generate(testsignals::Signal::PureSine);
}

void TGraphFrm::Generateonesinevawe1Click()
{
    generate(testsignals::Signal::BothSines);
}

void TGraphFrm::N6values1Click()
{
    generate(testsignals::Signal::SixValues);
}
