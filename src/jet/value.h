// Typed values as Jet stores them. Text is held as UTF-8 whatever the file's
// encoding; numbers keep their stored representation so nothing is rounded.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

namespace jet {

// Column type codes as stored in table definitions.
enum class ColType : uint8_t {
    Bool = 0x01,
    Byte = 0x02,
    Int = 0x03,       // 16-bit
    Long = 0x04,      // 32-bit
    Money = 0x05,     // Currency, 64-bit scaled by 10^4
    Float = 0x06,     // Single
    Double = 0x07,
    DateTime = 0x08,  // double, days since 1899-12-30
    Binary = 0x09,
    Text = 0x0A,
    OLE = 0x0B,
    Memo = 0x0C,
    Guid = 0x0F,      // Replication ID
    Numeric = 0x10,   // Decimal
};

const char* colTypeName(ColType t);

struct Currency {
    int64_t scaled = 0;  // value * 10000
    bool operator==(const Currency&) const = default;
};

struct DateTime {
    double days = 0;  // days since 1899-12-30; fraction is the time of day
    bool operator==(const DateTime&) const = default;
};

struct Guid {
    std::array<uint8_t, 16> bytes{};
    bool operator==(const Guid&) const = default;
};

// Aligned to 8 rather than __int128's 16, which would make every Value 48 bytes instead of 40.
struct __attribute__((packed, aligned(8))) Decimal {
    __int128 unscaled = 0;  // value * 10^scale
    uint8_t precision = 18;
    uint8_t scale = 0;
    bool operator==(const Decimal&) const = default;
};

using Bytes = std::vector<uint8_t>;

class Value {
public:
    enum class Kind { Null, Bool, Byte, Int16, Int32, Currency, Single, Double, Date, Text, Binary, Guid, Decimal };

    Value() = default;
    static Value null() { return Value(); }
    static Value boolean(bool b) { return Value(b); }
    static Value byte(uint8_t b) { return Value(b); }
    static Value int16(int16_t i) { return Value(i); }
    static Value int32(int32_t i) { return Value(i); }
    static Value currency(Currency c) { return Value(c); }
    static Value single(float f) { return Value(f); }
    static Value dbl(double d) { return Value(d); }
    static Value date(double days) { return Value(DateTime{days}); }
    static Value text(std::string s) { return Value(std::move(s)); }
    static Value binary(Bytes b) { return Value(std::move(b)); }
    static Value guid(Guid g) { return Value(g); }
    static Value decimal(Decimal d) { return Value(d); }

    Kind kind() const { return static_cast<Kind>(v_.index()); }
    bool isNull() const { return kind() == Kind::Null; }
    bool isNumeric() const;  // Bool..Double, Date and Decimal
    bool isText() const { return kind() == Kind::Text; }

    bool asBool() const { return std::get<bool>(v_); }
    uint8_t asByte() const { return std::get<uint8_t>(v_); }
    int16_t asInt16() const { return std::get<int16_t>(v_); }
    int32_t asInt32() const { return std::get<int32_t>(v_); }
    Currency asCurrency() const { return std::get<Currency>(v_); }
    float asSingle() const { return std::get<float>(v_); }
    double asDouble() const { return std::get<double>(v_); }
    DateTime asDate() const { return std::get<DateTime>(v_); }
    const std::string& asText() const { return std::get<std::string>(v_); }
    const Bytes& asBinary() const { return std::get<Bytes>(v_); }
    const Guid& asGuid() const { return std::get<Guid>(v_); }
    const Decimal& asDecimal() const { return std::get<Decimal>(v_); }

    // In-place replacement: a Value that already holds the kind keeps its storage
    // (a cursor decodes every row into the same Values).
    void setNull() {
        if (v_.index() != 0) v_.template emplace<std::monostate>();
    }
    void setBool(bool b) { put(b); }
    void setByte(uint8_t b) { put(b); }
    void setInt16(int16_t i) { put(i); }
    void setInt32(int32_t i) { put(i); }
    void setCurrency(Currency c) { put(c); }
    void setSingle(float f) { put(f); }
    void setDouble(double d) { put(d); }
    void setDate(double days) { put(DateTime{days}); }
    void setText(std::string s) { put(std::move(s)); }

    // Numeric conversion of any numeric kind (Bool: True = -1 as in Jet).
    double toDouble() const;
    // Integral value of Bool/Byte/Int16/Int32; throws otherwise.
    int64_t toInt64() const;

    bool operator==(const Value&) const = default;

private:
    // Constrained so that copying a non-const Value picks the copy constructor.
    template <class T>
        requires(!std::is_same_v<std::remove_cvref_t<T>, Value>)
    explicit Value(T&& x) : v_(std::forward<T>(x)) {}
    template <class T>
    void put(T x) {
        if (T* held = std::get_if<T>(&v_)) *held = std::move(x);
        else v_.template emplace<T>(std::move(x));
    }
    std::variant<std::monostate, bool, uint8_t, int16_t, int32_t, Currency, float, double, DateTime, std::string,
                 Bytes, Guid, Decimal>
        v_;
};

// Debug/diagnostic rendering (not the CSV format of the command-line tool).
std::string toDebugString(const Value& v);

using Row = std::vector<Value>;

}  // namespace jet
