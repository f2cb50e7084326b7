// SPDX-License-Identifier: GPL-3.0-or-later
#include "chartpanel.h"

#include "app/dialogs.h"
#include "app/settings.h"
#include "data/datetime.h"
#include "data/numtext.h"
#include "readingarea.h"
#include "readingengine.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>

namespace {

constexpr int kHoverHoldMs = 4950;
constexpr int kColumnMarkerWidth = 3;
constexpr int kRowMarkerHeight = 3;
constexpr int kHistMarkerHeight = 5;
const QColor kMarkerColour{0x00, 0x00, 0xFF};

QFont smallFont(int points)
{
    QFont f(QStringLiteral("DejaVu Sans Mono"), points);
    f.setStyleHint(QFont::Monospace);
    return f;
}

void setBackground(QWidget *w, const QColor &c)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, c);
    w->setPalette(pal);
}

QFrame *marker(QWidget *parent, const char *name)
{
    auto *f = new QFrame(parent);
    f->setObjectName(QLatin1String(name));
    f->setAutoFillBackground(true);
    setBackground(f, kMarkerColour);
    f->setAttribute(Qt::WA_TransparentForMouseEvents);
    f->hide();
    return f;
}

} // namespace

ChartPanel::ChartPanel(int chartHeight, QWidget *parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("grafpan"));
    setAutoFillBackground(true);
    setBackground(this, chart::kButtonFace);
    const QPoint o = kChartOrigin;
    const int histLeft = o.x() + chart::kShown + 4;
    setFixedSize(histLeft + chart::kHistSize + 2, chartHeight + 2 * o.y());

    m_grafimg = new QLabel(this);
    m_grafimg->setObjectName(QStringLiteral("grafimg"));
    m_grafimg->setGeometry(o.x(), o.y(), chart::kShown, chartHeight);
    m_grafimg->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_grafimg->setMouseTracking(true);

    m_histoi = new QLabel(this);
    m_histoi->setObjectName(QStringLiteral("histoi"));
    m_histoi->setGeometry(histLeft, o.y(), chart::kHistSize, chart::kHistSize);
    m_histoi->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_histoi->setMouseTracking(true);

    auto label = [this](const char *name) {
        auto *l = new QLabel(this);
        l->setObjectName(QLatin1String(name));
        l->setFont(smallFont(8));
        setBackground(l, chart::kButtonFace);
        l->setMouseTracking(true);
        return l;
    };
    m_maxlab1 = label("maxlab1");
    m_minlab1 = label("minlab1");
    m_devlabel = label("devlabel");
    m_meanl1 = label("meanl1");
    m_maxlab1->move(o);
    m_devlabel->move(o.x() + chart::kShown / 2, o.y());
    m_minlab1->move(o.x(), o.y() + chartHeight - 16);
    m_meanl1->move(o.x() + chart::kShown / 2, o.y() + chartHeight - 16);

    m_columnMarker = marker(this, "chartcolumnmarker");
    m_columnMarker->setGeometry(0, o.y(), kColumnMarkerWidth, chartHeight);
    m_rowMarker = marker(this, "chartrowmarker");
    m_rowMarker->setGeometry(o.x(), 0, chart::kShown, kRowMarkerHeight);
    m_histMarker = marker(this, "histmarker");
    m_histMarker->setGeometry(o.x(), 0, chart::kShown, kHistMarkerHeight);
}

Mean10Box::Mean10Box(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("mean10box"));
    m_updowmeai = new ArrowLabel(this);
    m_updowmeai->setObjectName(QStringLiteral("updowmeai"));
    m_updowmeai->setFixedSize(16, 16);
    m_mean10l = new QLabel(QStringLiteral("N/A"), this);
    m_mean10l->setObjectName(QStringLiteral("mean10l"));
    m_mean10l->setFont(smallFont(10));
    m_mean10l->setToolTip(QStringLiteral(" mean of the last ten readings (Click - copy) "));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(3);
    row->addWidget(m_updowmeai);
    row->addWidget(m_mean10l, 1);
}

ChartController::ChartController(Settings &settings, ReadingEngine &engine, QObject *parent)
    : QObject(parent), m_s(settings), m_engine(engine)
{
    m_ClearGraph1 = new QAction(QStringLiteral("Erase Chart!"), this);
    m_ClearGraph1->setObjectName(QStringLiteral("ClearGraph1"));
    connect(m_ClearGraph1, &QAction::triggered, this, &ChartController::ClearGraph1Click);
    m_ClearMath1 = new QAction(QStringLiteral("Clear Statistic!"), this);
    m_ClearMath1->setObjectName(QStringLiteral("ClearMath1"));
    connect(m_ClearMath1, &QAction::triggered, this, &ChartController::ClearMath1Click);

    m_engine.updateMean10 = [this](long double v) { UpdateMean10(v); };
    m_engine.updateStatistics = [this](long double x) { UpdateStatistics(x); };
    m_engine.shiftMean10 = [this] { ShiftMean10(); };
}

ChartController::~ChartController()
{
    m_engine.updateMean10 = nullptr;
    m_engine.updateStatistics = nullptr;
    m_engine.shiftMean10 = nullptr;
}

ChartPanel *ChartController::createChartPanel(QWidget *parent)
{
    m_panel = new ChartPanel(m_stats.chartHeight(), parent);
    for (QLabel *l : {m_panel->grafimg(), m_panel->histoi(), m_panel->devlabel(),
                      m_panel->maxlab1(), m_panel->minlab1(), m_panel->meanl1()})
        l->installEventFilter(this);
    showTexts();
    showPictures();
    return m_panel;
}

QLabel *ChartController::createStatisticsLabel(QWidget *parent)
{
    m_mathal = new QLabel(parent);
    m_mathal->setObjectName(QStringLiteral("mathal"));
    m_mathal->setFont(smallFont(8));
    m_mathal->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_mathal->setToolTip(QStringLiteral(" statistics (double click - clear) "));
    m_mathal->installEventFilter(this);
    showTexts();
    return m_mathal;
}

Mean10Box *ChartController::createMean10Box(QWidget *parent)
{
    m_mean10 = new Mean10Box(parent);
    m_mean10->mean10l()->installEventFilter(this);
    showTexts();
    return m_mean10;
}

ChartInput ChartController::chartInput() const
{
    const ReadingState &st = m_engine.state();
    ChartInput in;
    in.reading = m_engine.currentRecord();
    in.Units1 = st.Units1;
    in.limitText = st.limitText;
    in.limitColour = ReadingArea::colour(st.chartTextColour);
    in.limitsOn = m_s.Limit;
    in.lowLimit = m_s.LowLimit;
    in.highLimit = m_s.HighLimit;
    in.decSep = m_s.DecSeparator;
    return in;
}

bool ChartController::UpdateChart(bool add, bool white)
{
    const bool drawn = m_stats.UpdateChart(add, white, chartInput());
    if (drawn) {
        showTexts();
        showPictures();
    }
    return drawn;
}

void ChartController::addSeriesReading(int sampleNumber)
{
    m_stats.shiftHistory();
    const measpol rec = m_engine.currentRecord();
    if (sentinel::isValid(rec.value1))
        m_stats.storeNewest(rec, sampleNumber);
}

void ChartController::UpdateMean10(long double v)
{
    m_stats.UpdateMean10(v, m_s.DecSeparator);
    showTexts();
}

void ChartController::ShiftMean10()
{
    m_stats.ShiftMean10();
}

void ChartController::UpdateStatistics(long double x)
{
    m_stats.UpdateStatistics(x, m_s.DecSeparator);
    showTexts();
}

void ChartController::EraseChart()
{
    m_stats.EraseChart();
    m_engine.state().timeStamp = dtime::now();
    showTexts();
    showPictures();
}

void ChartController::ClearStatistic()
{
    m_stats.ClearStatistic(dtime::now());
    m_ClearMath1->setToolTip(m_stats.texts().clearHint);
    m_ClearMath1->setStatusTip(m_stats.texts().clearHint);
    showTexts();
}

void ChartController::mathalDblClick()
{
    EraseChart();
    ClearStatistic();
    m_stats.drawClearNote();
    if (m_mathal)
        m_mathal->setText(QStringLiteral("Clear..."));
    showPictures();
}

bool ChartController::prepareChartPicture()
{
    if (m_panel) {
        for (QLabel *l :
             {m_panel->devlabel(), m_panel->meanl1(), m_panel->maxlab1(), m_panel->minlab1()}) {
            l->setAutoFillBackground(true);
            setBackground(l, Qt::white);
        }
    }
    if (!UpdateChart(false, true)) {
        endChartPicture();
        return false;
    }
    if (m_panel) {
        m_panel->meanl1()->setText(m_stats.texts().meanl1 + m_engine.state().Lunits1 +
                                   QLatin1Char(' '));
        m_panel->meanl1()->adjustSize();
    }
    return true;
}

void ChartController::endChartPicture()
{
    if (!m_panel)
        return;
    for (QLabel *l :
         {m_panel->devlabel(), m_panel->meanl1(), m_panel->maxlab1(), m_panel->minlab1()})
        setBackground(l, chart::kButtonFace);
}

QImage ChartController::chartPicture()
{
    if (!m_panel || !prepareChartPicture())
        return {};
    const QImage picture = m_panel->grab().toImage().convertToFormat(QImage::Format_RGB888);
    endChartPicture();
    return picture;
}

void ChartController::showTexts()
{
    const ChartStats::Texts &t = m_stats.texts();
    if (m_panel) {
        const std::pair<QLabel *, const QString *> labels[] = {{m_panel->devlabel(), &t.devlabel},
                                                               {m_panel->maxlab1(), &t.maxlab1},
                                                               {m_panel->minlab1(), &t.minlab1},
                                                               {m_panel->meanl1(), &t.meanl1}};
        for (const auto &[label, text] : labels) {
            label->setText(*text);
            label->adjustSize();
        }
    }
    if (m_mathal)
        m_mathal->setText(t.mathal);
    if (m_mean10) {
        m_mean10->mean10l()->setText(t.mean10l);
        m_mean10->updowmeai()->setText(t.updowmeai);
        m_mean10->updowmeai()->update();
    }
}

void ChartController::showPictures()
{
    if (!m_panel)
        return;
    m_panel->grafimg()->setPixmap(QPixmap::fromImage(m_stats.chartImage()));
    m_panel->histoi()->setPixmap(QPixmap::fromImage(m_stats.histogramImage()));
}

void ChartController::grafimgMouseMove(int x)
{
    const ChartStats::Hover h = m_stats.hoverChart(x, m_s.DecSeparator);
    emit statusText(0, h.status);
    if (m_panel) {
        const QPoint o = ChartPanel::kChartOrigin;
        const int column = std::clamp(x, 0, chart::kShown - 1);
        m_panel->columnMarker()->move(column + o.x(), o.y());
        m_panel->columnMarker()->show();
        m_panel->columnMarker()->raise();
        if (h.markerRow) {
            // Centred on the entry's row.
            m_panel->rowMarker()->move(o.x(), *h.markerRow + o.y() - kRowMarkerHeight / 2);
            m_panel->rowMarker()->show();
            m_panel->rowMarker()->raise();
        } else {
            m_panel->rowMarker()->hide();
        }
    }
    emit countdownHeld(kHoverHoldMs);
}

void ChartController::grafimgClick()
{
    // Nothing under the mouse: keep what the clipboard holds rather than a placeholder.
    const long double v = m_stats.hoverValue();
    if (v == chart::kNoHover)
        return;
    QGuiApplication::clipboard()->setText(
        numtext::withDecSeparator(numtext::formatGeneral(v), m_s.DecSeparator));
}

void ChartController::histoiMouseMove(int x)
{
    const int column = std::clamp(x, 0, chart::kHistSize - 1);
    emit statusText(0, m_stats.hoverHistogram(column, m_s.DecSeparator));
    if (m_panel) {
        m_panel->histogramMarker()->move(ChartPanel::kChartOrigin.x(), histogramMarkerTop(column));
        m_panel->histogramMarker()->show();
        m_panel->histogramMarker()->raise();
    }
}

void ChartController::histoiClick()
{
    dialogs::ShowNotice(m_panel, histogramDataText(m_stats.bins()));
}

void ChartController::mean10lClick(Qt::KeyboardModifiers mods)
{
    QGuiApplication::clipboard()->setText(
        clipboardValueText(m_stats.lastMean(), m_engine.state().Lunits1, mods, m_s.DecSeparator));
}

bool ChartController::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    // Only mouse events may be taken as such: the cast of any other is undefined.
    auto *mouse = dynamic_cast<QMouseEvent *>(event);
    if (!mouse && type != QEvent::Leave)
        return QObject::eventFilter(watched, event);
    const bool move = type == QEvent::MouseMove && mouse;
    const bool click =
        type == QEvent::MouseButtonRelease && mouse && mouse->button() == Qt::LeftButton &&
        static_cast<QWidget *>(watched)->rect().contains(mouse->position().toPoint());
    if (m_panel && watched == m_panel->grafimg()) {
        if (move)
            grafimgMouseMove(int(mouse->position().x()));
        else if (click)
            grafimgClick();
        else if (type == QEvent::Leave) {
            m_panel->columnMarker()->hide();
            m_panel->rowMarker()->hide();
        }
    } else if (m_panel && watched == m_panel->histoi()) {
        if (move)
            histoiMouseMove(int(mouse->position().x()));
        else if (click)
            histoiClick();
        else if (type == QEvent::Leave)
            m_panel->histogramMarker()->hide();
    } else if (m_panel && move &&
               (watched == m_panel->maxlab1() || watched == m_panel->minlab1() ||
                watched == m_panel->meanl1() || watched == m_panel->devlabel())) {
        static_cast<QLabel *>(watched)->setAutoFillBackground(true);
    } else if (m_mathal && watched == m_mathal && type == QEvent::MouseButtonDblClick) {
        mathalDblClick();
        return true;
    } else if (m_mean10 && watched == m_mean10->mean10l() && click) {
        mean10lClick(mouse->modifiers());
    }
    return QObject::eventFilter(watched, event);
}
