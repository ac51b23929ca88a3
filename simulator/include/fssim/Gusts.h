#pragma once
// Gusts: now and then the wind's speed rises by up to a given amount and falls back to the
// steady wind.  Each gust has the shape of the discrete gust of MIL-F-8785C 3.7.3 (the
// "1-cosine" gust): a rise of (1 - cos) / 2, a plateau, a fall of (1 + cos) / 2, which is also
// the profile of JSBSim's cosine gust (atmosphere/cosine-gust/...).  So both flight models are
// given the same gusts, at the same simulated times, from the same seed: the builtin model adds
// the profile to its wind itself, the JSBSim model starts JSBSim's own gust at each start.
//
// The times and strengths are drawn from a std::mt19937 through its raw 32-bit output (not a
// standard distribution, whose algorithm the library chooses), so a seed gives the same gusts
// with any standard library:
//   the first gust starts 5 to 20 s after the start, each next one 5 to 20 s after the end of
//   the one before; rise 1 to 3 s, plateau 0 to 2 s, fall 1 to 3 s; strength 40 % to 100 % of
//   the configured gusts (all uniform).  Header only: the JSBSim library uses it as well.

#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>

namespace fssim {

/// One gust: seconds since the start of the simulation; strength in knots.
struct Gust {
    double start_s = 0.0;
    double rise_s = 1.0;
    double steady_s = 0.0;
    double fall_s = 1.0;
    double strength_kt = 0.0;

    double End_s() const { return start_s + rise_s + steady_s + fall_s; }

    /// The fraction of the strength blowing at time t (s): 0 to 1.
    double Profile(double t_s) const {
        const double t = t_s - start_s;
        if (t <= 0.0 || t >= rise_s + steady_s + fall_s)
            return 0.0;
        if (t < rise_s)
            return 0.5 * (1.0 - std::cos(std::numbers::pi * t / rise_s));
        if (t < rise_s + steady_s)
            return 1.0;
        return 0.5 * (1.0 + std::cos(std::numbers::pi * (t - rise_s - steady_s) / fall_s));
    }
};

/// The gusts of a seed, in time order.  With gusts of 0 kt there are none (Current() is a gust
/// of strength 0 that never starts).
class GustSchedule {
public:
    explicit GustSchedule(double gusts_kt = 0.0, std::uint32_t seed = 1)
        : m_gusts_kt(gusts_kt), m_rng(seed ^ 0x9E3779B9u) {
        m_current = Draw(0.0);
    }

    /// The gust blowing at time t (s), or the next one; t must not go back in time.
    const Gust& At(double t_s) {
        while (t_s >= m_current.End_s())
            m_current = Draw(m_current.End_s());
        return m_current;
    }

    /// The wind's speed added at time t (s), knots; t must not go back in time.
    double Speed_kt(double t_s) { return At(t_s).strength_kt * m_current.Profile(t_s); }

private:
    double Uniform(double low, double high) {
        return low + (high - low) * ((static_cast<double>(m_rng()) + 0.5) / 4294967296.0);
    }

    Gust Draw(double after_s) {
        Gust g;
        if (!(m_gusts_kt > 0.0)) {
            g.start_s = HUGE_VAL;
            return g;
        }
        g.start_s = after_s + Uniform(5.0, 20.0);
        g.rise_s = Uniform(1.0, 3.0);
        g.steady_s = Uniform(0.0, 2.0);
        g.fall_s = Uniform(1.0, 3.0);
        g.strength_kt = m_gusts_kt * Uniform(0.4, 1.0);
        return g;
    }

    double m_gusts_kt;
    std::mt19937 m_rng;
    Gust m_current;
};

} // namespace fssim
