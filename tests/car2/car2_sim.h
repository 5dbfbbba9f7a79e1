// Test driver for the library's car models (CAR_2 by default) through the library's exports: a store, named access and the
// game's two-phase integration (Adams-Bashforth 2 at 0.005 s, inertia states first).
#pragma once

#include <cmath>
#include <cstring>
#include <vector>

#include "model/include/tolvu.h"

namespace car2test {

constexpr int kType = 2;
constexpr double kStep = 0.005;

inline int Index(const char* name) { return tolvu_GetVarIndex(kType, name); }

struct Inputs {
    double steer = 0, throttle = 0, brake = 0, clutch = 0, gear = 0, park = 0;
};

class Car {
public:
    explicit Car(int type = kType) : m_type(type), m_store(tolvu_GetModelDefinitionSize(type), 0.0) {
        m_nstates = tolvu_GetNumberOfStates(type);
        m_ninertia = tolvu_GetNumberOfInertiaStates(type);
        m_nvars = static_cast<int>(m_store.size()) - 2 * m_nstates - 6 - 120;
        m_prev.assign(m_nstates, 0.0);
        tolvu_InitializeModel(m_type, m_store.data(), Length(), nullptr);
    }
    // The first-call evaluation (after any parameter changes made with Set).
    void Start() { tolvu_CallModel(m_type, 1, 0, 0.0, m_store.data(), Length()); }

    int Length() const { return static_cast<int>(m_store.size()); }
    double* Store() { return m_store.data(); }
    double& At(int index) { return m_store[index - 1]; }
    double& operator[](const char* name) { return At(tolvu_GetVarIndex(m_type, name)); }
    double* State() { return m_store.data() + m_nvars; }
    double* Deriv() { return m_store.data() + m_nvars + m_nstates; }
    double* Input() { return m_store.data() + m_nvars + 2 * m_nstates; }
    double* Output() { return Input() + 6; }
    int States() const { return m_nstates; }

    void SetInputs(const Inputs& in) {
        double* p = Input();
        p[0] = in.steer; p[1] = in.throttle; p[2] = in.brake;
        p[3] = in.clutch; p[4] = in.gear; p[5] = in.park;
    }
    // One sub-step as the game's vehicle model takes it.
    // The previous derivatives are the block as the last sub-step left it, taken before this
    // sub-step's first evaluation.
    void Step(double t, double dt = kStep) {
        std::memcpy(m_prev.data(), Deriv(), sizeof(double) * m_nstates);
        tolvu_CallModel(m_type, 0, 1, t, m_store.data(), Length());
        tolvu_CallModel(m_type, 0, 2, t, m_store.data(), Length());
        double* x = State();
        const double* f = Deriv();
        for (int i = 0; i < m_ninertia; ++i) x[i] += (3.0 * f[i] - m_prev[i]) * dt * 0.5;
        tolvu_CallModel(m_type, 0, 1, t, m_store.data(), Length());
        for (int i = m_ninertia; i < m_nstates; ++i) x[i] += (3.0 * f[i] - m_prev[i]) * dt * 0.5;
        m_time = t + dt;
    }
    double Time() const { return m_time; }
    bool AllFinite() const {
        for (double v : m_store)
            if (!std::isfinite(v)) return false;
        return true;
    }
    // Forward speed in the chassis frame.
    double Speed() { return (*this)["VL100(1)"]; }

private:
    int m_type;
    std::vector<double> m_store;
    std::vector<double> m_prev;
    int m_nvars = 0, m_nstates = 0, m_ninertia = 0;
    double m_time = 0.0;
};

}  // namespace car2test
