// SPDX-License-Identifier: GPL-3.0-or-later
#include "sinetone.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace {
constexpr int kSampleRate = 44100;
}

SineTone::SineTone(QObject *parent) : QObject(parent) {}

SineTone::~SineTone()
{
    if (m_sink)
        m_sink->stop();
}

QByteArray SineTone::samples(int frequencyHz, int durationMs, int sampleRate)
{
    const int count = std::max(0, sampleRate * durationMs / 1000);
    const int fade = std::min(count / 2, sampleRate / 200); // 5 ms
    QByteArray data(count * 2, Qt::Uninitialized);
    auto *out = reinterpret_cast<int16_t *>(data.data());
    for (int i = 0; i < count; ++i) {
        double gain = 0.5;
        if (i < fade)
            gain *= double(i) / fade;
        else if (i >= count - fade)
            gain *= double(count - 1 - i) / fade;
        const double phase = 2 * std::numbers::pi * frequencyHz * i / sampleRate;
        out[i] = static_cast<int16_t>(std::lround(32767 * gain * std::sin(phase)));
    }
    return data;
}

void SineTone::beep(int frequencyHz, int durationMs)
{
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull() || frequencyHz <= 0 || durationMs <= 0)
        return;
    QAudioFormat format;
    format.setSampleRate(kSampleRate);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format))
        return;
    if (m_sink)
        m_sink->stop();
    m_buffer.close();
    m_data = samples(frequencyHz, durationMs, kSampleRate);
    m_buffer.setData(m_data);
    m_buffer.open(QIODevice::ReadOnly);
    m_sink = std::make_unique<QAudioSink>(device, format);
    m_sink->start(&m_buffer);
}
