// SPDX-License-Identifier: GPL-3.0-or-later
#include "multipage.h"

#include "app/numerickeyfilter.h"
#include "app/settings.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

// Rewrites an edit to the number it took, without echoing the change back.
void showNormalised(QLineEdit *edit, const QString &text)
{
    if (edit->text() == text)
        return;
    const QSignalBlocker block(edit);
    edit->setText(text);
}

} // namespace

MultiPage::MultiPage(SeriesRunner &runner, QWidget *parent) : QWidget(parent), m_runner(runner)
{
    setObjectName(QStringLiteral("TabSheet2"));
    m_fetchgb = new QGroupBox(QStringLiteral(" Multi&ple measurement "), this);
    m_fetchgb->setObjectName(QStringLiteral("fetchgb"));

    m_fetche = new QLineEdit(QString::number(SeriesRunner::kDefaultCount), m_fetchgb);
    m_fetche->setObjectName(QStringLiteral("fetche"));
    m_dtrigdelaye = new QLineEdit(QString::number(runner.settings().MeasDelayTime), m_fetchgb);
    m_dtrigdelaye->setObjectName(QStringLiteral("dtrigdelaye"));
    NumericKeyFilter::install(m_fetche);
    NumericKeyFilter::install(m_dtrigdelaye);
    m_runner.fetcheChange(m_fetche->text());

    m_fetchinitb = new QPushButton(QStringLiteral("&Start"), m_fetchgb);
    m_fetchinitb->setObjectName(QStringLiteral("fetchinitb"));
    m_fetchinitb->setAutoDefault(false);
    m_fetchgetb = new QPushButton(QStringLiteral("&GET data"), m_fetchgb);
    m_fetchgetb->setObjectName(QStringLiteral("fetchgetb"));
    m_fetchgetb->setAutoDefault(false);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("&count"), m_fetche);
    form->addRow(QStringLiteral("&delay ms"), m_dtrigdelaye);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_fetchinitb);
    buttons->addWidget(m_fetchgetb);
    auto *group = new QVBoxLayout(m_fetchgb);
    group->addLayout(form);
    group->addLayout(buttons);
    auto *page = new QVBoxLayout(this);
    page->addWidget(m_fetchgb);
    page->addStretch();

    connect(m_fetche, &QLineEdit::textChanged, this, &MultiPage::fetcheChange);
    connect(m_dtrigdelaye, &QLineEdit::textChanged, this, &MultiPage::dtrigdelayeChange);
    connect(m_fetchinitb, &QPushButton::clicked, this, &MultiPage::fetchinitbClick);
    connect(m_fetchgetb, &QPushButton::clicked, this, &MultiPage::fetchgetbClick);
    m_runner.setHost(this);
}

MultiPage::~MultiPage()
{
    if (&m_runner.host() == this)
        m_runner.setHost(nullptr);
}

void MultiPage::applySettings()
{
    const QSignalBlocker block(m_dtrigdelaye);
    m_dtrigdelaye->setText(QString::number(m_runner.settings().MeasDelayTime));
}

void MultiPage::enableButtons()
{
    m_fetchinitb->setEnabled(true);
    m_fetchgetb->setEnabled(true);
}

void MultiPage::fetcheChange(const QString &text)
{
    showNormalised(m_fetche, m_runner.fetcheChange(text));
}

void MultiPage::dtrigdelayeChange(const QString &text)
{
    showNormalised(m_dtrigdelaye, m_runner.dtrigdelayeChange(text));
}

void MultiPage::setSeriesControlsEnabled(bool enabled)
{
    m_fetchgetb->setEnabled(enabled);
    m_fetchinitb->setEnabled(enabled);
    m_outer->setSeriesControlsEnabled(enabled);
}

void MultiPage::setGetCaption(const QString &caption)
{
    m_fetchgetb->setText(caption);
}

void MultiPage::setStatusPanel(int index, const QString &text)
{
    m_outer->setStatusPanel(index, text);
}

void MultiPage::setLastErrs(const QString &text)
{
    m_outer->setLastErrs(text);
}

bool MultiPage::limitBeepChecked() const
{
    return m_outer->limitBeepChecked();
}

void MultiPage::setLimitBeepChecked(bool checked)
{
    m_outer->setLimitBeepChecked(checked);
}

void MultiPage::addSeriesReading(int sampleNumber)
{
    m_outer->addSeriesReading(sampleNumber);
}

void MultiPage::redrawChart()
{
    m_outer->redrawChart();
}

bool MultiPage::addToBigChart() const
{
    return m_outer->addToBigChart();
}

bool MultiPage::autoTemperatureOn() const
{
    return m_outer->autoTemperatureOn();
}

void MultiPage::requestGraphRefresh()
{
    m_outer->requestGraphRefresh();
}
