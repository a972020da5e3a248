#pragma once
// The setting objects: named, typed values with a default and limits. Values
// are read from every thread, so arithmetic values are atomics and text values
// sit behind a lock; readers keep the plain style `PARAM.value`.
#include <atomic>
#include <mutex>
#include <string>
#include <type_traits>
#include <utility>

namespace clv {

template <typename T>
class ParamValue {
    static_assert(std::is_arithmetic_v<T>);

public:
    explicit ParamValue(T v) : v_(v) {}
    ParamValue(const ParamValue&) = delete;
    ParamValue& operator=(const ParamValue&) = delete;

    operator T() const { return v_.load(std::memory_order_relaxed); }
    T get() const { return v_.load(std::memory_order_relaxed); }
    ParamValue& operator=(T v) {
        v_.store(v, std::memory_order_relaxed);
        return *this;
    }

private:
    std::atomic<T> v_;
};

template <>
class ParamValue<std::string> {
public:
    explicit ParamValue(std::string v) : v_(std::move(v)) {}
    ParamValue(const ParamValue&) = delete;
    ParamValue& operator=(const ParamValue&) = delete;

    operator std::string() const { return get(); }
    std::string get() const {
        std::lock_guard lock(m_);
        return v_;
    }
    bool empty() const {
        std::lock_guard lock(m_);
        return v_.empty();
    }
    ParamValue& operator=(std::string v) {
        std::lock_guard lock(m_);
        v_ = std::move(v);
        return *this;
    }
    friend bool operator==(const ParamValue& a, const std::string& b) { return a.get() == b; }

private:
    mutable std::mutex m_;
    std::string v_;
};

}  // namespace clv

class ParameterBase {
public:
    explicit ParameterBase(std::string n) : name(std::move(n)) {}
    virtual ~ParameterBase() = default;
    ParameterBase(const ParameterBase&) = delete;
    ParameterBase& operator=(const ParameterBase&) = delete;

    const std::string name;  // the key in parameters.xml, or a button's caption
};

template <typename T>
class Parameter : public ParameterBase {
public:
    // A parameter from its default alone: default, limits and value all equal it.
    Parameter(std::string n, T d) : ParameterBase(std::move(n)), def(d), min(d), max(d), value(d) {}
    Parameter(std::string n, T d, T lo, T hi) : ParameterBase(std::move(n)), def(d), min(lo), max(hi), value(d) {}

    T get() const { return value.get(); }

    const T def;
    const T min;
    const T max;
    clv::ParamValue<T> value;
};
