// The compilation shared by queries and data-changing statements: operators,
// Between/In/Is Null, IIf and the built-in functions.
#include <strings.h>

#include <map>

#include "expr_eval.h"
#include "query.h"

namespace jet::ev {
namespace {

using Op = Node::Op;

bool iequals(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

const Op* binaryOp(const std::string& name) {
    static const std::map<std::string, Op, CaseInsensitiveLess> ops = {
        {"+", Op::Add},   {"-", Op::Sub},    {"*", Op::Mul},   {"/", Op::Div},   {"\\", Op::IntDiv},
        {"Mod", Op::Mod}, {"^", Op::Pow},    {"&", Op::Concat}, {"=", Op::Eq},   {"<>", Op::Ne},
        {"<", Op::Lt},    {"<=", Op::Le},    {">", Op::Gt},    {">=", Op::Ge},   {"And", Op::And},
        {"Or", Op::Or},   {"Xor", Op::Xor},  {"Eqv", Op::Eqv}, {"Imp", Op::Imp}, {"Like", Op::Like},
        {"=<", Op::Le},   {"=>", Op::Ge},    {"!=", Op::Ne},
    };
    auto it = ops.find(name);
    return it == ops.end() ? nullptr : &it->second;
}

}  // namespace

NodePtr Compiler::constant(Value v) {
    auto n = std::make_unique<Node>();
    n->op = Op::Const;
    n->value = std::move(v);
    return n;
}

NodePtr Compiler::aggregate(const Expr& e) { fail("aggregate function " + e.name + "() cannot be used here"); }

NodePtr Compiler::compileArg(const ExprPtr& a) {
    if (!a) fail("malformed expression");
    return compile(*a);
}

NodePtr Compiler::compile(const Expr& e) {
    if (++nodes_ > maxNodes_) fail("expression too complex");
    auto n = std::make_unique<Node>();
    switch (e.kind) {
        case Expr::Kind::Literal:
            return constant(e.value);
        case Expr::Kind::Paren:
            if (e.args.empty() || !e.args[0]) fail("empty parentheses");
            return compile(*e.args[0]);
        case Expr::Kind::Field:
            return field(e);
        case Expr::Kind::Unary:
            if (e.args.size() != 1 || !e.args[0]) fail("malformed expression");
            if (e.name == "+") return compile(*e.args[0]);
            if (e.name == "-") n->op = Op::Neg;
            else if (iequals(e.name, "Not")) n->op = Op::Not;
            else fail("unknown operator '" + e.name + "'");
            n->args.push_back(compile(*e.args[0]));
            return n;
        case Expr::Kind::Binary: {
            const Op* op = binaryOp(e.name);
            if (!op) fail("unknown operator '" + e.name + "'");
            if (e.args.size() != 2) fail("malformed expression");
            n->op = *op;
            if (n->op == Op::Like && e.negated) {
                for (const auto& a : e.args) n->args.push_back(compileArg(a));
                auto neg = std::make_unique<Node>();
                neg->op = Op::Not;
                neg->args.push_back(std::move(n));
                return neg;
            }
            break;
        }
        case Expr::Kind::Between:
            if (e.args.size() != 3) fail("malformed Between expression");
            n->op = Op::Between;
            break;
        case Expr::Kind::In:
            if (e.args.empty()) fail("malformed In expression");
            n->op = Op::In;
            break;
        case Expr::Kind::IsNull:
            if (e.args.size() != 1) fail("malformed Is Null expression");
            n->op = Op::IsNull;
            break;
        case Expr::Kind::Star:
            fail("* cannot be used in an expression");
        case Expr::Kind::Call:
            if (iequals(e.name, "IIf")) {
                if (e.args.size() != 3) fail("wrong number of arguments to function " + e.name + "()");
                n->op = Op::IIf;
                break;
            }
            if (isAggregateName(e.name)) return aggregate(e);
            n->fn = findFunction(e.name, e.args.size(), env_);
            if (!n->fn) fail("unknown function '" + e.name + "'");
            n->op = Op::Call;
            n->name = e.name;
            break;
    }
    n->negated = e.negated;
    for (const auto& a : e.args) n->args.push_back(compileArg(a));
    return n;
}

}  // namespace jet::ev
