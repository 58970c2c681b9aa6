// Operators of Jet expressions with Null propagation and three-valued logic.
#include "expr_eval.h"

#include <cmath>
#include <limits>

namespace jet::ev {
namespace {

using K = Value::Kind;

bool isIntegral(const Value& v) {
    K k = v.kind();
    return k == K::Bool || k == K::Byte || k == K::Int16 || k == K::Int32;
}

// Integer results keep the narrowest of the operands' types that holds them, as Jet does.
Value integralResult(int64_t r, const Value& a, const Value& b) {
    auto width = [](const Value& v) {
        switch (v.kind()) {
            case K::Byte: return 1;
            case K::Bool:
            case K::Int16: return 2;
            default: return 4;
        }
    };
    int w = std::max(width(a), width(b));
    if (w == 1 && r >= 0 && r <= 255) return Value::byte(static_cast<uint8_t>(r));
    if (w <= 2 && r >= -32768 && r <= 32767) return Value::int16(static_cast<int16_t>(r));
    if (r >= std::numeric_limits<int32_t>::min() && r <= std::numeric_limits<int32_t>::max())
        return Value::int32(static_cast<int32_t>(r));
    return Value::dbl(static_cast<double>(r));
}

Value dateOrFail(double d, const Env& env) {
    if (!std::isfinite(d) || d < -657434.0 || d >= 2958466.0) fail(env, "date out of range");
    return Value::date(d);
}

Value doubleOrFail(double d, const Env& env) {
    if (std::isnan(d) || std::isinf(d)) fail(env, "overflow");
    return Value::dbl(d);
}

int64_t roundedInt(const Value& v, const Env& env) {
    double d = roundHalfEven(toNumber(v, env));
    if (d < -2147483648.0 || d > 2147483647.0) fail(env, "overflow");
    return static_cast<int64_t>(d);
}

Value arith(Node::Op op, const Value& a, const Value& b, const Env& env) {
    if (a.isNull() || b.isNull()) return Value::null();
    if (op == Node::Op::Add && a.isText() && b.isText()) return Value::text(a.asText() + b.asText());
    double x = toNumber(a, env), y = toNumber(b, env);
    bool da = a.kind() == K::Date, db = b.kind() == K::Date;
    switch (op) {
        case Node::Op::Add:
            if (da || db) return dateOrFail(x + y, env);
            break;
        case Node::Op::Sub:
            if (da && db) return Value::dbl(x - y);
            if (da || db) return dateOrFail(x - y, env);
            break;
        case Node::Op::Div:
            if (y == 0) fail(env, "division by zero");
            return doubleOrFail(x / y, env);
        case Node::Op::IntDiv: {
            int64_t p = roundedInt(a, env), q = roundedInt(b, env);
            if (q == 0) fail(env, "division by zero");
            return integralResult(p / q, isIntegral(a) ? a : Value::int32(0), isIntegral(b) ? b : Value::int32(0));
        }
        case Node::Op::Mod: {
            int64_t p = roundedInt(a, env), q = roundedInt(b, env);
            if (q == 0) fail(env, "division by zero");
            return integralResult(p % q, isIntegral(a) ? a : Value::int32(0), isIntegral(b) ? b : Value::int32(0));
        }
        case Node::Op::Pow: {
            if (x == 0 && y < 0) fail(env, "division by zero");
            if (x < 0 && y != std::trunc(y)) fail(env, "invalid procedure call: negative number to a fractional power");
            return doubleOrFail(std::pow(x, y), env);
        }
        default: break;
    }
    // + - * on plain numbers
    if (isIntegral(a) && isIntegral(b)) {
        int64_t p = static_cast<int64_t>(x), q = static_cast<int64_t>(y);
        int64_t r = op == Node::Op::Add ? p + q : op == Node::Op::Sub ? p - q : p * q;
        return integralResult(r, a, b);
    }
    bool cur = (a.kind() == K::Currency || b.kind() == K::Currency) &&
               (a.kind() == K::Currency || isIntegral(a)) && (b.kind() == K::Currency || isIntegral(b));
    double r = op == Node::Op::Add ? x + y : op == Node::Op::Sub ? x - y : x * y;
    if (cur) {
        if (std::fabs(r) > 922337203685477.0) fail(env, "overflow");
        return Value::currency(Currency{static_cast<int64_t>(roundHalfEven(r * 10000.0))});
    }
    if ((a.kind() == K::Single && (b.kind() == K::Single || isIntegral(b))) ||
        (b.kind() == K::Single && isIntegral(a))) {
        if (std::fabs(r) <= std::numeric_limits<float>::max()) return Value::single(static_cast<float>(r));
    }
    return doubleOrFail(r, env);
}

// Truth of a value: Null stays unknown (-1 = Null, 0 = False, 1 = True).
int truth(const Value& v, const Env& env) {
    if (v.isNull()) return -1;
    if (v.kind() == K::Bool) return v.asBool() ? 1 : 0;
    if (v.isText()) {
        std::string u;
        for (char c : v.asText()) if (c != ' ') u += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (u == "TRUE" || u == "YES" || u == "ON") return 1;
        if (u == "FALSE" || u == "NO" || u == "OFF") return 0;
    }
    return toNumber(v, env) != 0 ? 1 : 0;
}

Value fromTruth(int t) { return t < 0 ? Value::null() : Value::boolean(t == 1); }

Value compare(Node::Op op, const Value& a, const Value& b, const Env& env) {
    if (a.isNull() || b.isNull()) return Value::null();
    int c = compareValues(a, b, env);
    bool r = false;
    switch (op) {
        case Node::Op::Eq: r = c == 0; break;
        case Node::Op::Ne: r = c != 0; break;
        case Node::Op::Lt: r = c < 0; break;
        case Node::Op::Le: r = c <= 0; break;
        case Node::Op::Gt: r = c > 0; break;
        case Node::Op::Ge: r = c >= 0; break;
        default: break;
    }
    return Value::boolean(r);
}

}  // namespace

Value eval(const Node& n, const RowView& row, const Env& env) {
    using Op = Node::Op;
    switch (n.op) {
        case Op::Const: return n.value;
        case Op::Field: {
            const Value* v = fieldValue(n, row);
            return v ? *v : Value::null();
        }
        case Op::Aggregate:
            if (!row.aggregates || static_cast<size_t>(n.aggregate) >= row.aggregates->size()) return Value::null();
            return (*row.aggregates)[static_cast<size_t>(n.aggregate)];
        case Op::Neg: {
            Value v = eval(*n.args[0], row, env);
            if (v.isNull()) return v;
            switch (v.kind()) {
                case K::Bool:
                case K::Byte:
                case K::Int16:
                case K::Int32: {
                    int64_t r = -static_cast<int64_t>(numberOf(v));
                    if (v.kind() == K::Byte) return integralResult(r, Value::int16(0), Value::int16(0));
                    return integralResult(r, v, v);
                }
                case K::Currency:
                    if (v.asCurrency().scaled == INT64_MIN) fail(env, "overflow");
                    return Value::currency(Currency{-v.asCurrency().scaled});
                case K::Single: return Value::single(-v.asSingle());
                case K::Decimal: {
                    Decimal d = v.asDecimal();
                    d.unscaled = -d.unscaled;
                    return Value::decimal(d);
                }
                case K::Date: return dateOrFail(-numberOf(v), env);
                default: return Value::dbl(-toNumber(v, env));
            }
        }
        case Op::Not: {
            Value v = eval(*n.args[0], row, env);
            if (v.isNull()) return v;
            if (v.kind() == K::Bool) return Value::boolean(!v.asBool());
            if (isIntegral(v)) return integralResult(~static_cast<int64_t>(numberOf(v)), v, Value::int16(0));
            return Value::boolean(truth(v, env) == 0);
        }
        case Op::Add: case Op::Sub: case Op::Mul: case Op::Div: case Op::IntDiv: case Op::Mod: case Op::Pow:
            return arith(n.op, eval(*n.args[0], row, env), eval(*n.args[1], row, env), env);
        case Op::Concat: {
            Value a = eval(*n.args[0], row, env), b = eval(*n.args[1], row, env);
            if (a.isNull() && b.isNull()) return Value::null();
            return Value::text(toText(a) + toText(b));
        }
        case Op::Eq: case Op::Ne: case Op::Lt: case Op::Le: case Op::Gt: case Op::Ge:
            return compare(n.op, eval(*n.args[0], row, env), eval(*n.args[1], row, env), env);
        case Op::And: {
            int a = truth(eval(*n.args[0], row, env), env);
            if (a == 0) return Value::boolean(false);
            int b = truth(eval(*n.args[1], row, env), env);
            if (b == 0) return Value::boolean(false);
            return fromTruth(a < 0 || b < 0 ? -1 : 1);
        }
        case Op::Or: {
            int a = truth(eval(*n.args[0], row, env), env);
            if (a == 1) return Value::boolean(true);
            int b = truth(eval(*n.args[1], row, env), env);
            if (b == 1) return Value::boolean(true);
            return fromTruth(a < 0 || b < 0 ? -1 : 0);
        }
        case Op::Xor: case Op::Eqv: {
            int a = truth(eval(*n.args[0], row, env), env);
            int b = truth(eval(*n.args[1], row, env), env);
            if (a < 0 || b < 0) return Value::null();
            return Value::boolean(n.op == Op::Xor ? a != b : a == b);
        }
        case Op::Imp: {
            int a = truth(eval(*n.args[0], row, env), env);
            int b = truth(eval(*n.args[1], row, env), env);
            if (a == 0 || b == 1) return Value::boolean(true);
            if (a == 1 && b == 0) return Value::boolean(false);
            return Value::null();
        }
        case Op::Like: {
            Value a = eval(*n.args[0], row, env), b = eval(*n.args[1], row, env);
            if (a.isNull() || b.isNull()) return Value::null();
            return Value::boolean(likeMatch(toText(a), toText(b)));
        }
        case Op::Between: {
            Value v = eval(*n.args[0], row, env);
            Value lo = eval(*n.args[1], row, env), hi = eval(*n.args[2], row, env);
            if (v.isNull() || lo.isNull() || hi.isNull()) return Value::null();
            // Jet accepts the bounds in either order.
            if (compareValues(lo, hi, env) > 0) std::swap(lo, hi);
            bool in = compareValues(v, lo, env) >= 0 && compareValues(v, hi, env) <= 0;
            return Value::boolean(in != n.negated);
        }
        case Op::In: {
            Value v = eval(*n.args[0], row, env);
            if (v.isNull()) return v;
            bool sawNull = false;
            for (size_t i = 1; i < n.args.size(); ++i) {
                Value item = eval(*n.args[i], row, env);
                if (item.isNull()) {
                    sawNull = true;
                    continue;
                }
                if (compareValues(v, item, env) == 0) return Value::boolean(!n.negated);
            }
            if (sawNull) return Value::null();
            return Value::boolean(n.negated);
        }
        case Op::IsNull: {
            bool isNull = eval(*n.args[0], row, env).isNull();
            return Value::boolean(isNull != n.negated);
        }
        case Op::IIf: {
            // Only the branch taken is evaluated, so IIf(x=0, 0, 1/x) never divides by zero.
            int t = truth(eval(*n.args[0], row, env), env);
            return eval(*n.args[t == 1 ? 1 : 2], row, env);
        }
        case Op::Call: {
            std::vector<Value> args;
            args.reserve(n.args.size());
            for (const auto& a : n.args) args.push_back(eval(*a, row, env));
            return n.fn(args, env);
        }
    }
    return Value::null();
}

bool isTrue(const Node& n, const RowView& row, const Env& env) {
    return truth(eval(n, row, env), env) == 1;
}

}  // namespace jet::ev
