// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/settings.h"
#include "data/numtext.h"
#include "engine/mathpage.h"
#include "engine/readingarea.h"
#include "engine/readingcontroller.h"
#include "engine/readingformat.h"
#include "engine/sinetone.h"
#include "recordingtone.h"
#include "testutil.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <memory>

// The reading area and the Math page clicked for real, offscreen.
class TestReadingWidgets : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void showsReading();
    void zeroButton();
    void setZero_data();
    void setZero();
    void mathSwitch();
    void mathFieldsEnter_data();
    void mathFieldsEnter();
    void numericKeys_data();
    void numericKeys();
    void limitFieldsTakeCurrentValue();
    void leavingHighLimitRaisesIt();
    void limitBeepsReachTheTone();
    void limitSwitchOffResetsColour();
    void settingsIntoControls();
    void toneSamples_data();
    void toneSamples();

private:
    template <typename T>
    T *child(const char *name)
    {
        return namedChild<T>(&*m_window, name);
    }
    QString text(const char *label) { return child<QLabel>(label)->text(); }
    void reading(long double v)
    {
        m_c->state().current = v;
        m_c->ProcessReading();
    }

    std::unique_ptr<Settings> m_s;
    std::unique_ptr<ReadingEngine> m_engine;
    std::unique_ptr<RecordingTone> m_tone;
    std::unique_ptr<QWidget> m_window;
    ReadingController *m_c = nullptr;
    QLineEdit *m_note = nullptr;
};

void TestReadingWidgets::init()
{
    m_s = std::make_unique<Settings>();
    m_tone = std::make_unique<RecordingTone>();
    m_window = std::make_unique<QWidget>();
    m_engine = std::make_unique<ReadingEngine>(*m_s);
    m_c = new ReadingController(*m_engine, *m_tone, m_window.get());
    auto *layout = new QVBoxLayout(m_window.get());
    layout->addWidget(m_c->createReadingArea(m_window.get()));
    MathPage *page = m_c->createMathPage(m_window.get());
    layout->addWidget(page);
    m_note = new QLineEdit(m_window.get());
    m_note->setObjectName(QStringLiteral("measnote"));
    layout->addWidget(m_note);
    page->setNoteEdit(m_note);
    m_c->applySettings();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    ReadingState &st = m_c->state();
    st.Units1 = st.Lunits1 = QStringLiteral("V=");
    st.range = 10;
}

void TestReadingWidgets::cleanup()
{
    m_window.reset();
}

void TestReadingWidgets::showsReading()
{
    QSignalSpy title(m_c, &ReadingController::titleChanged);
    reading(1.2345678L);
    QCOMPARE(text("meastext1"), QStringLiteral("V= +1.234568 "));
    QCOMPARE(text("measlab1"), barText(1.2345678L, 10));
    QCOMPARE(text("measprop1"), QStringLiteral("10 \n\n0 "));
    QCOMPARE(text("updownl1"), QStringLiteral("t"));
    QCOMPARE(title.size(), 1);
    QCOMPARE(title.at(0).at(0).toString(), QStringLiteral("ORVA 1.23 V="));
    QCOMPARE(child<QLabel>("meastext1")->palette().color(QPalette::WindowText), QColor(0, 255, 0));
    QCOMPARE(child<QLabel>("measlab1")->font().family(), QStringLiteral("DejaVu Sans Mono"));

    reading(9.9e37L);
    QCOMPARE(text("meastext1"), QStringLiteral("V=  OVERLOAD"));
    QCOMPARE(text("measlab1"), emptyBar());
    QCOMPARE(title.size(), 1); // overload keeps the title
}

void TestReadingWidgets::zeroButton()
{
    reading(1.5L);
    QLabel *secreadl = child<QLabel>("secreadl");
    QVERIFY(!secreadl->isVisible());
    m_c->state().Units2 = QStringLiteral("V=");
    m_c->state().current = 1.5L;

    QTest::mouseClick(child<QPushButton>("zerob"), Qt::LeftButton);
    QCOMPARE(m_s->zeroRef, 1.5L);
    QCOMPARE(text("meastext1"), QStringLiteral(u"V= \u00B10"));
    QCOMPARE(text("secreadl"), QStringLiteral("V= +1.500000 "));
    QVERIFY(secreadl->isVisible());
    QCOMPARE(text("mathala"), QStringLiteral("zero=1.5  "));
    QVERIFY(child<QPushButton>("zerob")->font().bold());
    QCOMPARE(child<QLineEdit>("setzeroe")->text(), QStringLiteral("1.5"));
    QCOMPARE(m_s->mathZeroText, QStringLiteral("1.5"));
    QCOMPARE(m_c->readingArea()->toolTip(), QStringLiteral("Zero = +1.500000 "));

    // Readings after it are shown against the reference.
    reading(2.0L);
    QCOMPARE(text("meastext1"), QStringLiteral("V= +500.00000m"));
    QCOMPARE(text("secreadl"), QStringLiteral("V= +2.000000 "));

    QTest::mouseClick(child<QPushButton>("zerob"), Qt::LeftButton);
    QCOMPARE(m_s->zeroRef, 0.0L);
    QCOMPARE(text("mathala"), QString());
    QVERIFY(!secreadl->isVisible());
    QVERIFY(!child<QPushButton>("zerob")->font().bold());
    QCOMPARE(child<QLineEdit>("setzeroe")->text(), QStringLiteral("0"));
    QVERIFY(m_c->readingArea()->toolTip().isEmpty());
}

void TestReadingWidgets::setZero_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<double>("reference");
    QTest::addColumn<QString>("shown");
    QTest::newRow("number") << "0.25" << 0.25 << "V= +750.00000m";
    QTest::newRow("exponent") << "1e-3" << 0.001 << "V= +999.00000m";
    QTest::newRow("not a number") << "-" << 0.0 << "V= +1.0000000 ";
}

void TestReadingWidgets::setZero()
{
    QFETCH(QString, typed);
    QFETCH(double, reference);
    QFETCH(QString, shown);
    m_c->state().current = 1;
    QLineEdit *edit = child<QLineEdit>("setzeroe");
    edit->clear();
    QTest::keyClicks(edit, typed);
    QTest::mouseClick(child<QPushButton>("setzerob"), Qt::LeftButton);
    QCOMPARE(static_cast<double>(m_s->zeroRef), reference);
    QCOMPARE(text("meastext1"), shown);
    QCOMPARE(child<QLabel>("secreadl")->isVisible(), reference != 0);
}

void TestReadingWidgets::mathSwitch()
{
    m_note->setText(QStringLiteral("bench 4"));
    QLineEdit *mx = child<QLineEdit>("math_x_ed");
    QLineEdit *mb = child<QLineEdit>("math_b_ed");
    mx->setText(QStringLiteral("2"));
    mb->setText(QStringLiteral("1"));
    child<QLineEdit>("newunitl")->setText(QStringLiteral("mV"));
    QCOMPARE(m_s->Math_mx, QStringLiteral("2"));
    QCOMPARE(m_s->Math_units, QStringLiteral("mV"));

    QCheckBox *box = child<QCheckBox>("math_ena_cb");
    box->click();
    QVERIFY(box->font().bold());
    QVERIFY(!mx->isEnabled());
    QVERIFY(!mb->isEnabled());
    QVERIFY(child<QLabel>("secreadl")->isVisible());
    QCOMPARE(text("mathala"), QStringLiteral("x=2  b=1"));
    QCOMPARE(m_note->text(), QStringLiteral("bench 4 [ m=2 b=1 ]"));
    QCOMPARE(m_c->state().Units1, QStringLiteral("mV"));
    QCOMPARE(m_c->state().Units2, QStringLiteral("V="));

    reading(3);
    QCOMPARE(text("meastext1"), QStringLiteral("mV +7.000000 "));
    QCOMPARE(text("secreadl"), QStringLiteral("V= +3.000000 "));
    QCOMPARE(text("mathala"), QStringLiteral("x=2  b=1"));

    child<QCheckBox>("div1_cb")->click();
    QCOMPARE(text("mathala"), QStringLiteral(" 1 / ( x=2  b=1 )"));

    box->click();
    QVERIFY(!box->font().bold());
    QVERIFY(mx->isEnabled());
    QVERIFY(!child<QLabel>("secreadl")->isVisible());
    QCOMPARE(m_note->text(), QStringLiteral("bench 4"));
    QCOMPARE(text("mathala"), QString());
}

void TestReadingWidgets::mathFieldsEnter_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::newRow("number") << "2.5"
                            << "2.5";
    QTest::newRow("exponent") << "1e3"
                              << "1000";
    QTest::newRow("not a number") << "--"
                                  << "-123";
}

void TestReadingWidgets::mathFieldsEnter()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    for (const char *name : {"math_x_ed", "math_b_ed"}) {
        QLineEdit *edit = child<QLineEdit>(name);
        edit->clear();
        QTest::keyClicks(edit, typed);
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(edit->text(), shown);
    }
    QCOMPARE(numtext::formatGeneral(m_c->state().m), shown);
    QCOMPARE(numtext::formatGeneral(m_c->state().b), shown);
    QCOMPARE(text("mathala"), QString()); // math is off
}

void TestReadingWidgets::numericKeys_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("text");
    for (const char *name : {"setzeroe", "math_x_ed", "math_b_ed", "filterlowle", "filterhighle",
                             "lowlime", "higlime"}) {
        QTest::addRow("%s comma", name) << name << "1,5"
                                        << "1.5";
        QTest::addRow("%s letters", name) << name << "-2x.5E3a"
                                          << "-2.5E3";
    }
    QTest::newRow("unit field is free text") << "newunitl"
                                             << "k,Ohm"
                                             << "k,Ohm";
}

void TestReadingWidgets::numericKeys()
{
    QFETCH(QString, name);
    QFETCH(QString, typed);
    QFETCH(QString, text);
    auto *edit = m_window->findChild<QLineEdit *>(name);
    QVERIFY(edit);
    edit->clear();
    QTest::keyClicks(edit, typed);
    QCOMPARE(edit->text(), text);
}

void TestReadingWidgets::limitFieldsTakeCurrentValue()
{
    QSignalSpy redraw(m_c, &ReadingController::chartRedrawRequested);
    reading(1.75L);
    QLineEdit *low = child<QLineEdit>("lowlime");
    QTest::mouseDClick(low, Qt::LeftButton);
    QCOMPARE(low->text(), QStringLiteral("1.75"));
    QCOMPARE(m_s->LowLimit, 1.75);

    reading(2.5L);
    QLineEdit *high = child<QLineEdit>("higlime");
    high->setFocus();
    QTest::keyClick(high, Qt::Key_Return, Qt::ControlModifier);
    QCOMPARE(high->text(), QStringLiteral("2.5"));
    QCOMPARE(m_s->HighLimit, 2.5);
    QVERIFY(redraw.size() >= 2);

    high->clear();
    QTest::keyClicks(high, "3");
    QCOMPARE(m_s->HighLimit, 3.0);
}

void TestReadingWidgets::leavingHighLimitRaisesIt()
{
    QLineEdit *low = child<QLineEdit>("lowlime");
    QLineEdit *high = child<QLineEdit>("higlime");
    low->setText(QStringLiteral("5"));
    high->setFocus();
    high->setText(QStringLiteral("2"));
    QCOMPARE(m_s->HighLimit, 2.0);
    low->setFocus();
    QTRY_COMPARE(high->text(), QStringLiteral("5"));
    QCOMPARE(m_s->HighLimit, 5.0);

    // Leaving a filter bound shows the stored number.
    QLineEdit *flow = child<QLineEdit>("filterlowle");
    flow->setFocus();
    flow->setText(QStringLiteral("-"));
    QCOMPARE(m_s->LowFilter, 0.0);
    low->setFocus();
    QTRY_COMPARE(flow->text(), QStringLiteral("0"));
}

void TestReadingWidgets::limitBeepsReachTheTone()
{
    child<QLineEdit>("lowlime")->setText(QStringLiteral("1"));
    child<QLineEdit>("higlime")->setText(QStringLiteral("2"));
    child<QCheckBox>("limecb")->click();
    child<QCheckBox>("limitbeepcb")->click();
    QVERIFY(m_s->Limit);
    QVERIFY(m_s->Limit_beep);
    for (long double v : {1.5L, 3.0L, 3.1L, 1.5L})
        reading(v);
    QCOMPARE(m_tone->beeps, (QList<QPair<int, int>>{{900, 100}, {450, 100}}));
    QCOMPARE(child<QLabel>("meastext1")->palette().color(QPalette::WindowText), QColor(0, 255, 0));
    reading(0.5L);
    QCOMPARE(child<QLabel>("meastext1")->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    QCOMPARE(m_c->state().limitText, QStringLiteral(" LOW"));
}

void TestReadingWidgets::limitSwitchOffResetsColour()
{
    child<QLineEdit>("lowlime")->setText(QStringLiteral("1"));
    child<QLineEdit>("higlime")->setText(QStringLiteral("2"));
    child<QCheckBox>("limecb")->click();
    reading(5);
    QCOMPARE(m_c->state().limitText, QStringLiteral("HIGH"));
    child<QCheckBox>("limecb")->click();
    QVERIFY(!m_s->Limit);
    QCOMPARE(m_c->state().limitText, QString());
    QCOMPARE(m_c->state().chartTextColour, DisplayColour::Grey);
    QCOMPARE(child<QLabel>("meastext1")->palette().color(QPalette::WindowText), QColor(0, 255, 0));
    QVERIFY(m_tone->beeps.isEmpty()); // the beep box was never checked
}

void TestReadingWidgets::settingsIntoControls()
{
    Settings &s = *m_s;
    s.Filter = true;
    s.Limit = true;
    s.Limit_beep = true;
    s.LowLimit = -0.5;
    s.HighLimit = 1e-7L;
    s.LowFilter = 2;
    s.HighFilter = 3;
    s.zeroRef = 0.125L;
    s.Math_mx = QStringLiteral("abc");
    s.Math_units = QStringLiteral("kW");
    m_c->applySettings();
    QVERIFY(child<QCheckBox>("filterenacb")->isChecked());
    QVERIFY(child<QCheckBox>("limecb")->isChecked());
    QVERIFY(child<QCheckBox>("limitbeepcb")->isChecked());
    QCOMPARE(child<QLineEdit>("lowlime")->text(), QStringLiteral("-0.5"));
    QCOMPARE(child<QLineEdit>("higlime")->text(), QStringLiteral("1E-7"));
    QCOMPARE(child<QLineEdit>("filterlowle")->text(), QStringLiteral("2"));
    QCOMPARE(child<QLineEdit>("filterhighle")->text(), QStringLiteral("3"));
    QCOMPARE(child<QLineEdit>("setzeroe")->text(), QStringLiteral("0.125"));
    QCOMPARE(child<QLineEdit>("math_x_ed")->text(), QStringLiteral("abc"));
    QCOMPARE(child<QLineEdit>("newunitl")->text(), QStringLiteral("kW"));
    QCOMPARE(static_cast<double>(m_c->state().m), -123.0);
    QVERIFY(child<QPushButton>("zerob")->font().bold());
    QCOMPARE(s.HighLimit, 1e-7L);
    QCOMPARE(s.mathZeroText, QStringLiteral("0.125"));

    child<QCheckBox>("filterenacb")->click();
    QVERIFY(!s.Filter);
}

void TestReadingWidgets::toneSamples_data()
{
    QTest::addColumn<int>("hz");
    QTest::addColumn<int>("ms");
    QTest::newRow("out of limits") << 900 << 100;
    QTest::newRow("back in limits") << 450 << 100;
    QTest::newRow("nothing") << 450 << 0;
}

void TestReadingWidgets::toneSamples()
{
    QFETCH(int, hz);
    QFETCH(int, ms);
    const QByteArray data = SineTone::samples(hz, ms, 44100);
    QCOMPARE(data.size(), 2 * 44100 * ms / 1000);
    const auto *s = reinterpret_cast<const qint16 *>(data.constData());
    const int n = int(data.size() / 2);
    int peak = 0;
    int crossings = 0;
    for (int i = 0; i < n; ++i) {
        peak = std::max(peak, std::abs(int(s[i])));
        if (i > 0 && (s[i - 1] < 0) != (s[i] < 0))
            ++crossings;
    }
    if (n > 0) {
        QCOMPARE(s[0], qint16(0)); // faded in: no click
        QVERIFY(std::abs(int(s[n - 1])) < 200);
        QVERIFY(peak > 16000 && peak <= 16384);
        // Two sign changes per period.
        QVERIFY(std::abs(crossings - 2 * hz * ms / 1000) <= 2);
    }
    // Wherever this runs, with or without a sound device, a beep must not fail.
    SineTone tone;
    tone.beep(hz, ms);
}

QTEST_MAIN(TestReadingWidgets)
#include "test_readingwidgets.moc"
