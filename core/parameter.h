#pragma once
// The setting objects: named, typed values with a default and limits. Values
// are read from every thread, so arithmetic values are atomics and text values
// sit behind a lock; readers keep the plain style `PARAM.value`.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include <fmt/format.h>

namespace pugi {
class xml_document;
class xml_node;
}  // namespace pugi

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
    std::size_t size() const {
        std::lock_guard lock(m_);
        return v_.size();
    }
    ParamValue& operator=(std::string v) {
        std::lock_guard lock(m_);
        v_ = std::move(v);
        return *this;
    }
    ParamValue& operator=(const char* v) { return *this = std::string(v); }
    bool operator==(std::string_view other) const {
        std::lock_guard lock(m_);
        return v_ == other;
    }

private:
    mutable std::mutex m_;
    std::string v_;
};

// Opaque handle of a control of our window layer; 0 stands for no control.
using ControlHandle = std::uintptr_t;

}  // namespace clv

// `fmt::format("{}", PARAM.value)` prints the current value.
template <typename T>
struct fmt::formatter<clv::ParamValue<T>> : fmt::formatter<T> {
    template <typename FormatContext>
    auto format(const clv::ParamValue<T>& v, FormatContext& ctx) const {
        return fmt::formatter<T>::format(v.get(), ctx);
    }
};

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

    // The store (parameters.xml). Defined for bool, int and std::string only:
    // float settings live in memory alone.

    // Looks the key up in a loaded document: found -> the file's value (ints
    // clamped into [min, max]), missing -> the default. Logs "{}={}"; ints only
    // when `log` is set. Returns whether the element was found.
    bool read(const pugi::xml_document& document, bool log = true);
    // Appends the default to a new file's root, then value = def and logs it.
    bool addToXml(pugi::xml_node root);
    // Writes the current value into parameters.xml (the caller changes value first).
    void save();
    // Logs "{}={}" with the key and the current value (bools as true/false).
    void logValue() const;
    // Strings only: assigns and saves.
    void set(const std::string& text);

    const T def;
    const T min;
    const T max;
    clv::ParamValue<T> value;
};

template <>
bool Parameter<bool>::read(const pugi::xml_document& document, bool log);
template <>
bool Parameter<int>::read(const pugi::xml_document& document, bool log);
template <>
bool Parameter<std::string>::read(const pugi::xml_document& document, bool log);
template <>
bool Parameter<bool>::addToXml(pugi::xml_node root);
template <>
bool Parameter<int>::addToXml(pugi::xml_node root);
template <>
bool Parameter<std::string>::addToXml(pugi::xml_node root);
template <>
void Parameter<bool>::save();
template <>
void Parameter<int>::save();
template <>
void Parameter<std::string>::save();
template <>
void Parameter<bool>::logValue() const;
template <>
void Parameter<int>::logValue() const;
template <>
void Parameter<std::string>::logValue() const;
template <>
void Parameter<std::string>::set(const std::string& text);

// The value within the setting's limits.
template <typename T>
T gf_clampToLimits(T v, const Parameter<T>& p) {
    return v < p.min ? p.min : (p.max < v ? p.max : v);
}

// What a setting bound to a window control keeps of it: its id, its row and the
// handle of the control once the window created it.
class ParameterControl {
public:
    ParameterControl(std::uint16_t id, std::int32_t row) : controlId(id), y(row) {}
    ParameterControl(const ParameterControl&) = delete;
    ParameterControl& operator=(const ParameterControl&) = delete;

    const std::uint16_t controlId;  // also the command id of the control
    const std::int32_t y;           // row in the window, pixels (check boxes sit 2 lower)
    std::atomic<clv::ControlHandle> handle{0};  // 0 until the window created the control
};

// A check box (bool) or an edit field (int, float, string).
template <typename T>
class ControlParameter : public Parameter<T>, public ParameterControl {
public:
    ControlParameter(std::string n, T d, std::uint16_t id, std::int32_t row)
        : Parameter<T>(std::move(n), d), ParameterControl(id, row) {}
    ControlParameter(std::string n, T d, T lo, T hi, std::uint16_t id, std::int32_t row)
        : Parameter<T>(std::move(n), d, lo, hi), ParameterControl(id, row) {}
};

// A push button captioned with its name.
class ParameterButton : public ParameterBase, public ParameterControl {
public:
    ParameterButton(std::string caption, std::uint16_t id, std::int32_t row)
        : ParameterBase(std::move(caption)), ParameterControl(id, row) {}
};
