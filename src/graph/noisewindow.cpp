// SPDX-License-Identifier: GPL-3.0-or-later
#include "noisewindow.h"

#include "app/dialogs.h"
#include "app/settings.h"
#include "data/datafile.h"
#include "data/numtext.h"
#include "engine/readingformat.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSaveFile>
#include <QShortcut>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <bit>

using namespace noise;

namespace {

constexpr qint64 kPaceMs = 330; // like the graph's drawing
constexpr qint64 kSliceMs = 20; // of reading the buffer between events
constexpr qint64 kSliceBudget = qint64(1) << 16;
constexpr int kMarker = 3; // radius of a point, px
const QColor kColours[kDeviations] = {QColor(0, 0, 160), QColor(0, 130, 0), QColor(150, 0, 150),
                                      QColor(200, 100, 0), QColor(90, 90, 90)};
const QColor kMinimumColour(200, 0, 0);
const QColor kGrid(190, 190, 190), kFineGrid(230, 230, 230);

bool shownIn(DeviationSet set, int d)
{
    return set & bit(Deviation(d));
}

// The points of one deviation that a logarithmic scale can show.
std::vector<const StabilityPoint *> plotted(const NoiseResult &r, int d)
{
    std::vector<const StabilityPoint *> out;
    for (const StabilityPoint &p : r.points)
        if (p.est[d].dev > 0 && std::isfinite(p.est[d].dev))
            out.push_back(&p);
    return out;
}

QString exponentText(double s)
{
    static const QString halves[] = {
        QStringLiteral("-3/2"), QStringLiteral("-1"), QStringLiteral("-1/2"), QStringLiteral("0"),
        QStringLiteral("+1/2"), QStringLiteral("+1"), QStringLiteral("+3/2")};
    const int i = int(std::lround(s * 2)) + 3;
    return i >= 0 && i < 7 ? halves[i] : QString();
}

// Runs of neighbouring points under the same noise.
struct NoiseRun
{
    size_t first, last;
    int alpha;
};

std::vector<NoiseRun> noiseRuns(const NoiseResult &r)
{
    std::vector<NoiseRun> out;
    for (size_t i = 0; i < r.points.size(); ++i) {
        const int a = r.points[i].alpha;
        if (!out.empty() && out.back().alpha == a && out.back().last + 1 == i)
            out.back().last = i;
        else if (a != kNoNoise)
            out.push_back({i, i, a});
    }
    return out;
}

// Half a step either side of a run of averaging times.
std::pair<double, double> runSpan(const NoiseResult &r, const NoiseRun &n)
{
    const auto tau = [&](size_t i) { return r.points[i].tau; };
    const double below =
        n.first > 0 ? std::sqrt(tau(n.first - 1) * tau(n.first)) : tau(n.first) / std::sqrt(2.0);
    const double above = n.last + 1 < r.points.size() ? std::sqrt(tau(n.last) * tau(n.last + 1))
                                                      : tau(n.last) * std::sqrt(2.0);
    return {below, above};
}

QRectF textRect(const QFontMetrics &fm, const QPointF &baseline, const QString &t)
{
    return QRectF(baseline.x(), baseline.y() - fm.ascent(), fm.horizontalAdvance(t), fm.height());
}

// The plot widget: paints the window's current result.
class AllanPlot : public QWidget
{
public:
    AllanPlot(const NoiseResult &r, std::function<PlotOptions()> options, QWidget *parent)
        : QWidget(parent), m_r(r), m_options(std::move(options))
    {
        setObjectName(QStringLiteral("allanplot"));
        setMinimumSize(420, 260);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        drawAllanPlot(p, rect(), m_r, m_options());
    }

private:
    const NoiseResult &m_r;
    std::function<PlotOptions()> m_options;
};

} // namespace

QString decadeLabel(int exponent)
{
    static const QChar digits[] = {u'⁰', u'¹', u'²', u'³', u'⁴', u'⁵', u'⁶', u'⁷', u'⁸', u'⁹'};
    QString out = QStringLiteral("10");
    if (exponent < 0)
        out += u'⁻';
    for (const QChar c : QString::number(std::abs(exponent)))
        out += digits[c.digitValue()];
    return out;
}

PlotLayout layoutPlot(const QRect &rect, const NoiseResult &r, const PlotOptions &o,
                      const QFontMetrics &fm)
{
    PlotLayout L;
    L.frame = QRectF(rect);
    double lx = 1e300, hx = -1e300, ly = 1e300, hy = -1e300;
    for (int d = 0; d < kDeviations; ++d) {
        if (!shownIn(o.shown, d))
            continue;
        for (const StabilityPoint *p : plotted(r, d)) {
            const Estimate &e = p->est[d];
            const Interval b = e.bounds[int(o.model)];
            lx = std::min(lx, std::log10(p->tau));
            hx = std::max(hx, std::log10(p->tau));
            ly = std::min(ly, std::log10(b.lower > 0 ? b.lower : e.dev));
            hy = std::max(hy, std::log10(b.upper > 0 && std::isfinite(b.upper) ? b.upper : e.dev));
        }
    }
    if (lx > hx)
        return L;
    L.firstDecadeX = int(std::floor(lx));
    L.lastDecadeX = std::max(int(std::ceil(hx)), L.firstDecadeX + 1);
    L.firstDecadeY = int(std::floor(ly));
    L.lastDecadeY = std::max(int(std::ceil(hy)), L.firstDecadeY + 1);
    // A little room beyond the outer decades, so no point sits on the frame.
    const double padX = 0.04 * (L.lastDecadeX - L.firstDecadeX);
    const double padY = 0.04 * (L.lastDecadeY - L.firstDecadeY);

    int labelWidth = 0;
    for (int e = L.firstDecadeY; e <= L.lastDecadeY; ++e)
        labelWidth = std::max(labelWidth, fm.horizontalAdvance(decadeLabel(e)));
    const int lastX = fm.horizontalAdvance(decadeLabel(L.lastDecadeX));
    const int line = fm.height();
    const int bottom = 2 * line + 10 + (o.caption.isEmpty() ? 0 : line + 4);
    L.frame = QRectF(rect).adjusted(labelWidth + 10, line + 10, -(lastX / 2 + 8), -bottom);
    L.x0 = L.firstDecadeX - padX;
    L.y0 = L.firstDecadeY - padY;
    L.xScale = L.frame.width() / (L.lastDecadeX - L.firstDecadeX + 2 * padX);
    L.yScale = L.frame.height() / (L.lastDecadeY - L.firstDecadeY + 2 * padY);

    for (int d = 0; d < kDeviations; ++d)
        if (shownIn(o.shown, d))
            for (const StabilityPoint *p : plotted(r, d))
                L.points.emplace_back(L.x(p->tau), L.y(p->est[d].dev));
    for (int e = L.firstDecadeX; e <= L.lastDecadeX; ++e) {
        const QString t = decadeLabel(e);
        L.labels.push_back(textRect(fm,
                                    QPointF(L.x(std::pow(10.0, e)) - fm.horizontalAdvance(t) / 2.0,
                                            L.frame.bottom() + line + 2),
                                    t));
    }
    for (int e = L.firstDecadeY; e <= L.lastDecadeY; ++e) {
        const QString t = decadeLabel(e);
        L.labels.push_back(textRect(fm,
                                    QPointF(L.frame.left() - fm.horizontalAdvance(t) - 6,
                                            L.y(std::pow(10.0, e)) + fm.ascent() / 2.0 - 1),
                                    t));
    }
    return L;
}

void drawAllanPlot(QPainter &p, const QRect &rect, const NoiseResult &r, const PlotOptions &o)
{
    p.fillRect(rect, Qt::white);
    if (r.tooFew() || r.points.empty())
        return;
    const QFontMetrics fm = p.fontMetrics();
    const PlotLayout L = layoutPlot(rect, r, o, fm);
    if (L.points.empty()) {
        // A constant: no point on a logarithmic scale.
        p.setPen(Qt::black);
        p.drawText(rect, Qt::AlignCenter, QStringLiteral("The deviation is zero at every τ"));
        return;
    }
    const QRectF &area = L.frame;
    const int line = fm.height();

    // Decades with their 2..9 marks, and their labels in one form on both axes.
    const auto grid = [&](int first, int last, bool vertical) {
        for (int e = first; e <= last; ++e) {
            for (int k = 1; k < 10; ++k) {
                const double v = k * std::pow(10.0, e);
                const QPointF a =
                    vertical ? QPointF(L.x(v), area.top()) : QPointF(area.left(), L.y(v));
                const QPointF b =
                    vertical ? QPointF(a.x(), area.bottom()) : QPointF(area.right(), a.y());
                if (!area.adjusted(-0.5, -0.5, 0.5, 0.5).contains(vertical ? a : b))
                    continue;
                p.setPen(k == 1 ? kGrid : kFineGrid);
                p.drawLine(a, b);
            }
        }
    };
    grid(L.firstDecadeX, L.lastDecadeX, true);
    grid(L.firstDecadeY, L.lastDecadeY, false);
    p.setPen(Qt::black);
    p.drawRect(area);
    size_t label = 0;
    for (const auto &[first, last] :
         {std::pair(L.firstDecadeX, L.lastDecadeX), std::pair(L.firstDecadeY, L.lastDecadeY)})
        for (int e = first; e <= last; ++e)
            p.drawText(L.labels[label++].topLeft() + QPointF(0, fm.ascent()), decadeLabel(e));
    const QString xTitle = QStringLiteral("τ (s)");
    p.drawText(QPointF(area.right() - fm.horizontalAdvance(xTitle), area.bottom() + 2 * line + 4),
               xTitle);
    const QString yTitle = QStringLiteral("σ(τ)") +
                           (r.unit.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(r.unit));
    p.drawText(QPointF(area.left(), area.top() - 5), yTitle);

    p.save();
    p.setClipRect(area.adjusted(-kMarker - 1, -kMarker - 1, kMarker + 1, kMarker + 1));
    p.setRenderHint(QPainter::Antialiasing);
    const int model = int(o.model);
    const std::vector<NoiseRun> runs = noiseRuns(r);
    for (int d = 0; d < kDeviations; ++d) {
        if (!shownIn(o.shown, d))
            continue;
        const QColor c = kColours[d];
        // The slope of the identified noise through each run of points under it.
        for (const NoiseRun &n : runs) {
            const double s = slope(Deviation(d), n.alpha);
            double sum = 0;
            int count = 0;
            for (size_t i = n.first; i <= n.last; ++i) {
                const double v = r.points[i].est[d].dev;
                if (v > 0 && std::isfinite(v)) {
                    sum += std::log10(v) - s * std::log10(r.points[i].tau);
                    ++count;
                }
            }
            if (count == 0 || std::isnan(s))
                continue;
            const double b = sum / count;
            const auto [t0, t1] = runSpan(r, n);
            QColor guide = c;
            guide.setAlpha(150);
            p.setPen(QPen(guide, 1, Qt::DashLine));
            p.drawLine(QPointF(L.x(t0), L.y(std::pow(10.0, b + s * std::log10(t0)))),
                       QPointF(L.x(t1), L.y(std::pow(10.0, b + s * std::log10(t1)))));
        }
        const std::vector<const StabilityPoint *> pts = plotted(r, d);
        QPainterPath path;
        for (const StabilityPoint *pt : pts) {
            const QPointF at(L.x(pt->tau), L.y(pt->est[d].dev));
            pt == pts.front() ? path.moveTo(at) : path.lineTo(at);
            const Interval b = pt->est[d].bounds[model];
            if (b.lower > 0 && std::isfinite(b.upper)) {
                p.setPen(QPen(c, 1));
                const double top = L.y(b.upper), bottom = L.y(b.lower);
                p.drawLine(QPointF(at.x(), top), QPointF(at.x(), bottom));
                p.drawLine(QPointF(at.x() - 3, top), QPointF(at.x() + 3, top));
                p.drawLine(QPointF(at.x() - 3, bottom), QPointF(at.x() + 3, bottom));
            }
        }
        p.setPen(QPen(c, 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
        p.setBrush(c);
        for (const StabilityPoint *pt : pts)
            p.drawEllipse(QPointF(L.x(pt->tau), L.y(pt->est[d].dev)), kMarker, kMarker);
    }
    p.restore();

    // The noise under each run of points, with the Allan deviation's slope that goes with it.
    p.setPen(Qt::black);
    for (const NoiseRun &n : runs) {
        const auto [t0, t1] = runSpan(r, n);
        const double x0 = std::max(L.x(t0), area.left()), x1 = std::min(L.x(t1), area.right());
        const QString slopeText = exponentText(slope(Deviation::Allan, n.alpha));
        // A few pixels clear of the marks between runs.
        const double room = x1 - x0 - 10;
        QString t = noiseName(n.alpha) + QStringLiteral(", slope ") + slopeText;
        if (fm.horizontalAdvance(t) > room)
            t = noiseName(n.alpha);
        if (fm.horizontalAdvance(t) > room)
            continue;
        p.drawText(QPointF((x0 + x1 - fm.horizontalAdvance(t)) / 2, area.bottom() - 4), t);
        if (n.first > 0)
            p.drawLine(QPointF(x0, area.bottom()), QPointF(x0, area.bottom() - line));
    }

    // Which colour is which.
    double ly = area.top() + line;
    for (int d = 0; d < kDeviations; ++d) {
        if (!shownIn(o.shown, d))
            continue;
        const QString t = shortName(Deviation(d));
        const double lx = area.right() - fm.horizontalAdvance(t) - 6;
        p.setPen(QPen(kColours[d], 2));
        p.drawLine(QPointF(lx - 22, ly - fm.ascent() / 2.0 + 1),
                   QPointF(lx - 6, ly - fm.ascent() / 2.0 + 1));
        p.drawText(QPointF(lx, ly), t);
        ly += line;
    }

    // The best averaging time of the deviation the figures quote, when it is shown.
    const int first = r.deviations ? std::countr_zero(r.deviations) : kDeviations;
    if (r.minimum >= 0 && first < kDeviations && shownIn(o.shown, first)) {
        const StabilityPoint &m = r.points[size_t(r.minimum)];
        if (m.est[first].dev > 0) {
            const QPointF c(L.x(m.tau), L.y(m.est[first].dev));
            p.setRenderHint(QPainter::Antialiasing);
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(kMinimumColour, 2));
            p.drawEllipse(c, 7, 7);
            const QString t = QStringLiteral("best τ = %1 s").arg(numtext::formatGeneral(m.tau, 6));
            const double tx = std::min(c.x() + 10, area.right() - fm.horizontalAdvance(t) - 4);
            p.drawText(QPointF(tx, std::min(c.y() + line + 6, area.bottom() - line - 6)), t);
        }
    }
    if (!o.caption.isEmpty()) {
        p.setPen(Qt::black);
        p.drawText(QPointF(rect.left() + 4, rect.bottom() - fm.descent() - 2),
                   fm.elidedText(o.caption, Qt::ElideMiddle, rect.width() - 8));
    }
}

NoiseWindow::NoiseWindow(const BigAry &buffer, SelectionFn selection, const Settings &settings,
                         QWidget *parent)
    : QWidget(parent, Qt::Window), m_buffer(buffer), m_selection(std::move(selection)),
      m_settings(settings)
{
    setObjectName(QStringLiteral("NoiseWindow"));
    setWindowTitle(QStringLiteral("Noise analysis"));
    resize(1100, 680);

    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("noisesummary"));
    m_summary->setWordWrap(true);
    m_figures = new QLabel(this);
    m_figures->setObjectName(QStringLiteral("noisefigures"));
    m_figures->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_figures->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_figures->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    m_plot = new AllanPlot(
        m_result, [this] { return plotOptions(); }, this);

    m_table = new QTableWidget(0, 0, this);
    m_table->setObjectName(QStringLiteral("allantable"));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->hide();
    m_table->installEventFilter(this);
    m_model = new QLabel(this);
    m_model->setObjectName(QStringLiteral("noisemodel"));
    m_model->setWordWrap(true);

    static const char *const boxes[kDeviations] = {"adevcb", "mdevcb", "hdevcb", "totdevcb",
                                                   "sdcb"};
    static const char *const captions[kDeviations] = {"&Allan", "&Modified Allan", "&Hadamard",
                                                      "&Total", "S&D of averages"};
    auto *buttons = new QHBoxLayout;
    for (int d = 0; d < kDeviations; ++d) {
        m_show[d] = new QCheckBox(QString::fromLatin1(captions[d]), this);
        m_show[d]->setObjectName(QString::fromLatin1(boxes[d]));
        m_show[d]->setToolTip(longName(Deviation(d)) + QStringLiteral(" deviation"));
        m_show[d]->setChecked(Deviation(d) != Deviation::Averages);
        buttons->addWidget(m_show[d]);
        connect(m_show[d], &QCheckBox::toggled, this, [this] { showResult(); });
    }
    m_steps = new QCheckBox(QStringLiteral("&1-2-5 steps"), this);
    m_steps->setObjectName(QStringLiteral("steps125cb"));
    m_bounds = new QComboBox(this);
    m_bounds->setObjectName(QStringLiteral("boundscb"));
    m_bounds->addItems(
        {QStringLiteral("Bounds from the identified noise"), QStringLiteral("White-noise bounds")});
    m_copy = new QPushButton(QStringLiteral("&Copy table"), this);
    m_copy->setObjectName(QStringLiteral("copytableb"));
    m_saveCsv = new QPushButton(QStringLiteral("Save CS&V..."), this);
    m_saveCsv->setObjectName(QStringLiteral("savecsvb"));
    m_savePlot = new QPushButton(QStringLiteral("Save &plot..."), this);
    m_savePlot->setObjectName(QStringLiteral("saveplotb"));

    auto *top = new QHBoxLayout;
    top->addWidget(m_plot, 1);
    top->addWidget(m_figures, 0);
    buttons->addSpacing(12);
    buttons->addWidget(m_steps);
    buttons->addWidget(m_bounds);
    buttons->addStretch(1);
    buttons->addWidget(m_copy);
    buttons->addWidget(m_saveCsv);
    buttons->addWidget(m_savePlot);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    layout->addLayout(top, 3);
    layout->addWidget(m_table, 2);
    layout->addWidget(m_model);
    layout->addLayout(buttons);

    m_throttle.setSingleShot(true);
    connect(&m_throttle, &QTimer::timeout, this, &NoiseWindow::restart);
    m_slice.setInterval(0);
    connect(&m_slice, &QTimer::timeout, this, &NoiseWindow::runSlice);
    connect(m_steps, &QCheckBox::toggled, this, &NoiseWindow::restart);
    connect(m_bounds, &QComboBox::currentIndexChanged, this, [this] { showResult(); });
    connect(m_copy, &QPushButton::clicked, this, &NoiseWindow::copytablebClick);
    connect(m_saveCsv, &QPushButton::clicked, this, &NoiseWindow::savecsvbClick);
    connect(m_savePlot, &QPushButton::clicked, this, &NoiseWindow::saveplotbClick);
    auto *copy = new QShortcut(QKeySequence::Copy, this);
    copy->setContext(Qt::WidgetWithChildrenShortcut);
    connect(copy, &QShortcut::activated, this, &NoiseWindow::copytablebClick);
    showResult();
}

NoiseWindow::~NoiseWindow()
{
    stopWorker();
}

NoiseWindow *NoiseWindow::attach(QMenu *dataMenu, const BigAry &buffer, SelectionFn selection,
                                 const Settings &settings, QWidget *graph)
{
    auto *w = new NoiseWindow(buffer, std::move(selection), settings, graph);
    QAction *a = dataMenu->addAction(QStringLiteral("Noise analysis..."));
    a->setObjectName(QStringLiteral("Noiseanalysis1"));
    connect(a, &QAction::triggered, w, &NoiseWindow::Noiseanalysis1Click);
    return w;
}

void NoiseWindow::Noiseanalysis1Click()
{
    show();
    raise();
    activateWindow();
    restart();
}

void NoiseWindow::selectionChanged()
{
    m_stale = true;
    if (!isVisible())
        return;
    const qint64 since = m_lastStart.isValid() ? m_lastStart.elapsed() : kPaceMs;
    if (since >= kPaceMs)
        restart();
    else if (!m_throttle.isActive())
        m_throttle.start(int(kPaceMs - since));
}

void NoiseWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_stale && !busy())
        selectionChanged();
}

void NoiseWindow::hideEvent(QHideEvent *event)
{
    // Nobody looks: give the running sums' memory back.
    m_throttle.stop();
    if (busy())
        m_stale = true;
    stopWorker();
    QWidget::hideEvent(event);
}

bool NoiseWindow::eventFilter(QObject *watched, QEvent *event)
{
    // The table would copy one cell; the whole table is what a spreadsheet wants.
    if (watched == m_table &&
        (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) &&
        static_cast<QKeyEvent *>(event)->matches(QKeySequence::Copy)) {
        if (event->type() == QEvent::KeyPress)
            copytablebClick();
        event->accept();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void NoiseWindow::restart()
{
    stopWorker();
    m_throttle.stop();
    m_stale = false;
    m_lastStart.start();
    const auto [from, to] = m_selection();
    m_job = std::make_unique<NoiseAnalysis>(
        m_buffer, from, to, m_steps->isChecked() ? TauSteps::OneTwoFive : TauSteps::Octave);
    showResult();
    m_slice.start();
}

void NoiseWindow::runSlice()
{
    QElapsedTimer t;
    t.start();
    while (m_job && !m_job->scanned() && t.elapsed() < kSliceMs) {
        if (m_job->bufferMoved()) {
            restart();
            return;
        }
        m_job->step(kSliceBudget);
    }
    if (m_job && m_job->scanned()) {
        m_slice.stop();
        startWorker();
    }
}

void NoiseWindow::startWorker()
{
    NoiseAnalysis *job = m_job.get();
    const quint64 generation = ++m_generation;
    m_worker = std::thread([this, job, generation] {
        while (!job->step() && !job->cancelled()) {
        }
        QMetaObject::invokeMethod(
            this, [this, generation] { workerDone(generation); }, Qt::QueuedConnection);
    });
}

void NoiseWindow::workerDone(quint64 generation)
{
    if (generation != m_generation || !m_job)
        return;
    if (m_worker.joinable())
        m_worker.join();
    m_result = m_job->result();
    ++m_resultVersion;
    m_computedOnce = true;
    m_job.reset();
    showResult();
    emit computed();
}

void NoiseWindow::stopWorker()
{
    m_slice.stop();
    if (m_job)
        m_job->cancel();
    if (m_worker.joinable())
        m_worker.join();
    ++m_generation;
    m_job.reset();
}

BoundModel NoiseWindow::boundModel() const
{
    return m_bounds->currentIndex() == 1 ? BoundModel::White : BoundModel::Identified;
}

PlotOptions NoiseWindow::plotOptions() const
{
    PlotOptions o;
    o.shown = 0;
    for (int d = 0; d < kDeviations; ++d)
        if (m_show[d]->isChecked())
            o.shown |= bit(Deviation(d));
    o.model = boundModel();
    return o;
}

QString NoiseWindow::decSep() const
{
    return m_settings.DecSeparator;
}

QString NoiseWindow::shown(double v, const QString &unit) const
{
    if (!std::isfinite(v))
        return QStringLiteral("-");
    // The display's "±0" means a reading; a figure of nothing is plainly 0.
    if (v == 0)
        return QStringLiteral("0 ") + unit;
    return FormatValue(v, decSep()).trimmed() + QLatin1Char(' ') + unit;
}

QString NoiseWindow::spread(double v, const QString &unit) const
{
    QString t = shown(v, unit);
    return t.startsWith(QLatin1Char('+')) ? t.mid(1) : t;
}

QString NoiseWindow::plain(double v, int digits) const
{
    if (!std::isfinite(v))
        return QStringLiteral("-");
    return numtext::withDecSeparator(numtext::formatGeneral(v, digits), decSep());
}

QString NoiseWindow::caption() const
{
    const QString file = m_sourceName ? QFileInfo(m_sourceName()).fileName() : QString();
    const NoiseResult &r = m_result;
    return QStringLiteral("%1 — readings %2 to %3 (%4 valid) — τ0 = %5 s — 68.3 % bounds: %6")
        .arg(file.isEmpty() ? QStringLiteral("measurement buffer") : file)
        .arg(r.from)
        .arg(r.to)
        .arg(r.valid)
        .arg(plain(r.tau0))
        .arg(boundModel() == BoundModel::White ? QStringLiteral("white noise")
                                               : QStringLiteral("identified noise"));
}

void NoiseWindow::showResult()
{
    const NoiseResult &r = m_result;
    const bool points = !r.tooFew() && !r.points.empty();
    m_copy->setEnabled(points);
    m_saveCsv->setEnabled(points);
    m_savePlot->setEnabled(points);
    m_plot->update();

    m_model->setText(
        boundModel() == BoundModel::White
            ? QStringLiteral("68.3 % bounds: chi-squared with the degrees of freedom of white "
                             "noise, whatever noise the readings show.")
            : QStringLiteral("68.3 % bounds: chi-squared with the degrees of freedom of the noise "
                             "identified at each τ (Greenhall's algorithm; total deviation: the "
                             "handbook's formulas). Noise marked * is identified from the B1 "
                             "and R(n) ratios, too few averages for the lag-1 autocorrelation."));

    QString summary;
    if (!m_computedOnce) {
        // Nothing to show yet; not "too few" either.
    } else if (r.empty()) {
        summary = QStringLiteral("No valid readings in the selection");
    } else {
        summary = QStringLiteral("Readings %1 to %2: %3 valid, %4 left out")
                      .arg(r.from)
                      .arg(r.to)
                      .arg(r.valid)
                      .arg(r.skipped);
        if (r.valid > 1)
            summary += QStringLiteral("; τ0 = %1 s%2; %3, %4")
                           .arg(plain(r.tau0))
                           .arg(r.tau0Assumed ? QStringLiteral(" (equal time stamps)") : QString())
                           .arg(r.gaps == 1 ? QStringLiteral("1 gap")
                                            : QStringLiteral("%1 gaps").arg(r.gaps))
                           .arg(r.runs() == 1 ? QStringLiteral("1 run")
                                              : QStringLiteral("%1 runs").arg(r.runs()));
        if (r.tooFew() || r.points.empty())
            summary += QStringLiteral(". A deviation needs at least four readings in a row.");
    }
    if (busy())
        summary +=
            summary.isEmpty() ? QStringLiteral("Computing...") : QStringLiteral("  (computing...)");
    m_summary->setText(summary);

    fillTable();
    if (r.empty()) {
        m_figures->clear();
        return;
    }
    const NoiseFigures &f = r.figures;
    const DriftFit &d = r.drift;
    const QString &u = r.unit;
    const auto ppm = [&](double v) { return plain(v, 4) + QStringLiteral(" ppm"); };
    QStringList lines;
    lines << QStringLiteral("Mean               %1").arg(shown(f.mean, u))
          << QStringLiteral("Standard deviation %1   %2").arg(shown(f.sd, u), ppm(f.sdPpm))
          << QStringLiteral("Peak-to-peak       %1   %2").arg(shown(f.pp, u), ppm(f.ppPpm))
          << QStringLiteral("Noise (Δ/√2)       %1   %2")
                 .arg(shown(f.diffNoise, u), ppm(f.diffNoisePpm))
          << QStringLiteral("Noise-free digits  %1   (range %2)")
                 .arg(plain(f.noiseFreeDigits, 3), plain(f.range));
    if (d.valid) {
        const auto drift = [&](double v, double se, double vppm) {
            return std::isfinite(se)
                       ? QStringLiteral("%1 ± %2   %3").arg(shown(v, u), spread(se, u), ppm(vppm))
                       : QStringLiteral("%1   %2").arg(shown(v, u), ppm(vppm));
        };
        lines << QStringLiteral("Drift per hour     ") +
                     drift(d.perHour, d.stdErrPerHour, d.ppmPerHour)
              << QStringLiteral("Drift per day      ") +
                     drift(d.perDay, d.stdErrPerDay, d.ppmPerDay)
              << QStringLiteral("Residual sd        %1").arg(shown(d.residualSd, u));
    }
    const int first = r.deviations ? std::countr_zero(r.deviations) : 0;
    if (r.minimum >= 0 && first < kDeviations) {
        const StabilityPoint &m = r.points[size_t(r.minimum)];
        lines << QStringLiteral("Best averaging     τ = %1 s: %2 %3")
                     .arg(plain(m.tau), shortName(Deviation(first)), shown(m.est[first].dev, u));
    }
    m_figures->setText(lines.join(QLatin1Char('\n')));
}

void NoiseWindow::fillTable()
{
    // Refilled only when something in it changes: a table of items is slow to build.
    const PlotOptions o = plotOptions();
    const TableKey key{m_resultVersion, o.shown, o.model};
    if (key == m_tableKey)
        return;
    m_tableKey = key;
    const NoiseResult &r = m_result;
    const bool points = !r.tooFew() && !r.points.empty();
    QStringList headers{QStringLiteral("τ (s)"), QStringLiteral("m"), QStringLiteral("terms"),
                        QStringLiteral("noise")};
    std::vector<int> shownDevs;
    for (int d = 0; d < kDeviations; ++d) {
        if (!m_show[d]->isChecked() || !(r.deviations & bit(Deviation(d))))
            continue;
        shownDevs.push_back(d);
        const QString n = shortName(Deviation(d));
        headers << n << n + QStringLiteral(" lo") << n + QStringLiteral(" hi")
                << n + QStringLiteral(" edf");
    }
    m_table->setUpdatesEnabled(false);
    m_table->setRowCount(0);
    m_table->setColumnCount(int(headers.size()));
    m_table->setHorizontalHeaderLabels(headers);
    m_table->setRowCount(points ? int(r.points.size()) : 0);
    const int model = int(boundModel());
    for (int i = 0; points && i < int(r.points.size()); ++i) {
        const StabilityPoint &p = r.points[size_t(i)];
        QStringList cells{plain(p.tau), QString::number(p.m),
                          QString::number(p[Deviation::Allan].terms),
                          noiseName(p.alpha) + (p.byRatio ? QStringLiteral("*") : QString())};
        for (const int d : shownDevs) {
            const Estimate &e = p.est[d];
            cells << plain(e.dev) << plain(e.bounds[model].lower) << plain(e.bounds[model].upper)
                  << plain(e.edf[model], 4);
        }
        for (int c = 0; c < int(cells.size()); ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            item->setTextAlignment((c == 3 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
            if (i == r.minimum) {
                QFont bold = item->font();
                bold.setBold(true);
                item->setFont(bold);
            }
            if (c >= 4)
                item->setForeground(kColours[shownDevs[size_t(c - 4) / 4]].darker(120));
            m_table->setItem(i, c, item);
        }
    }
    m_table->horizontalHeader()->resizeSections(QHeaderView::ResizeToContents);
    m_table->setUpdatesEnabled(true);
}

void NoiseWindow::copytablebClick()
{
    if (m_result.tooFew() || m_result.points.empty())
        return;
    const char sep = datafile::decimalSeparatorOf(decSep());
    QGuiApplication::clipboard()->setText(
        QString::fromUtf8(clipboardTable(m_result, boundModel(), sep)));
}

bool NoiseWindow::saveCsv(const QString &path, QString *error)
{
    QSaveFile f(path);
    if (f.open(QIODevice::WriteOnly)) {
        f.write(csvTable(m_result, boundModel(), datafile::decimalSeparatorOf(decSep())));
        if (f.commit())
            return true;
    }
    if (error)
        *error = f.errorString();
    return false;
}

QImage NoiseWindow::plotImage(const QSize &size) const
{
    QImage img(size, QImage::Format_RGB32);
    QPainter p(&img);
    p.setFont(font());
    PlotOptions o = plotOptions();
    o.caption = caption();
    drawAllanPlot(p, img.rect(), m_result, o);
    return img;
}

namespace {

QString proposedName(const Settings &s, const QString &suffix)
{
    return QDir(s.DataDir).filePath(
        QStringLiteral("Noise_") +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")) + suffix);
}

// The dialog's name, with the suffix when the operator typed none.
QString askName(QWidget *owner, const Settings &s, const QString &title, const QString &filter,
                const QString &suffix)
{
    int index = 1;
    QString path =
        dialogs::GetSaveFileName(owner, title, proposedName(s, suffix), {filter}, &index);
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty())
        path += suffix;
    return path;
}

} // namespace

void NoiseWindow::savecsvbClick()
{
    const QString path =
        askName(this, m_settings, QStringLiteral("Save table"),
                QStringLiteral("Semicolon separated (*.csv)"), QStringLiteral(".csv"));
    if (path.isEmpty())
        return;
    QString error;
    if (!saveCsv(path, &error))
        dialogs::ShowError(this, path + QStringLiteral(": ") + error);
}

void NoiseWindow::saveplotbClick()
{
    const QString path = askName(this, m_settings, QStringLiteral("Save plot"),
                                 QStringLiteral("PNG picture (*.png)"), QStringLiteral(".png"));
    if (path.isEmpty())
        return;
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || !plotImage().save(&f, "PNG") || !f.commit())
        dialogs::ShowError(this, path + QStringLiteral(": ") + f.errorString());
}
