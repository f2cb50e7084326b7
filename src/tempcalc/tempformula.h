// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/measpol.h"

#include <QtGlobal>

#include <cmath>
#include <optional>

// Resistance <-> temperature for platinum RTDs (Callendar-Van Dusen) and thermistors
// (extended Steinhart-Hart), all in extended precision.

// The temperature that stands for "no result".
inline constexpr long double kNoTemperature = -300;

// A reading that can stand for a sensor's resistance: finite and above 0, and not one of
// the overload, empty or failed-conversion markers. Anything else has no temperature.
inline bool isResistanceReading(long double ohm)
{
    return std::isfinite(ohm) && ohm > 0 && sentinel::isValid(ohm);
}

struct AbcConstants
{
    long double A;
    long double B;
    long double C;
};

AbcConstants AbcFromAlphaBetaDelta(long double alpha, long double beta, long double delta);

// Resistance at t degrees; -1 when R0, A, B or C is exactly 0.
long double CvdResistance(long double t, long double R0, long double A, long double B,
                          long double C);

// How the last inverse conversion went.
struct CvdSearchCount
{
    qint32 EvalCount = 0;
    bool overflow = false; // the count ran past its 32-bit range
};

// One grid-search stage; nullopt when no candidate comes closer to Rt than R0 ohms (or
// the evaluation count overflows).
std::optional<long double> CvdSearchStage(long double centre, long double halfWidth,
                                          long double stepsPerDegree, long double Rt,
                                          long double R0, long double A, long double B,
                                          long double C, CvdSearchCount &count);

struct CvdResult
{
    long double Temperature = kNoTemperature;
    qint32 EvalCount = 0;
    // False where the formula has no real answer at all (not merely outside -211 degrees):
    // a stage without an answer, a negative radicand, an overflowing count.
    bool calculated = true;
};

CvdResult CvdTemperature(long double Rt, long double R0, long double A, long double B,
                         long double C);

struct ThermistorResult
{
    long double TKelvin = kNoTemperature + 273.15L;
    long double Temperature = kNoTemperature;
    bool calculated = false; // Rt <= 0 or a zero (or non-finite) denominator
};

ThermistorResult ThermistorTemperature(long double Rt, long double A0, long double A1,
                                       long double A2, long double A3);

// Resistance at T kelvin; -1 when T is not above 0 or the result is not finite.
long double ThermistorResistance(long double T, long double B0, long double B1, long double B2,
                                 long double B3);
