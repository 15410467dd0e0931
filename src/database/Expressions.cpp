#include "database/Expressions.h"

#include <cmath>
#include <limits>

namespace qm {

namespace {

enum class Op {
    Literal,
    Reference,
    Not,
    And,
    Or,
    Equal,
    NotEqual,
    Less,
    LessEqual,
    Greater,
    GreaterEqual,
    IsNull,
    IsNotNull,
    Concat,
    Add,
    Call,
};

enum class Function { IIf, IsNull, Nz, Trim, LTrim, RTrim, UCase, LCase, Left, Right, Mid, Len };

}  // namespace

struct Expression::Node {
    Op op = Op::Literal;
    Value literal;
    std::size_t reference = 0;
    Function function = Function::IIf;
    std::vector<std::unique_ptr<Node>> operands;
};

namespace {

using Node = Expression::Node;
using NodePtr = std::unique_ptr<Node>;

// ---- Tokens -------------------------------------------------------------------

enum class Token { End, Name, Text, Number, Symbol, Invalid };

class Lexer {
  public:
    explicit Lexer(QStringView text) : text_(text) { advance(); }

    Token kind() const { return kind_; }
    const QString& text() const { return token_; }
    bool bracketed() const { return bracketed_; }
    // A symbol or a keyword (ignoring case).
    bool is(QStringView word) const {
        return (kind_ == Token::Symbol || (kind_ == Token::Name && !bracketed_)) &&
               token_.compare(word, Qt::CaseInsensitive) == 0;
    }
    void advance();

  private:
    QStringView text_;
    qsizetype at_ = 0;
    Token kind_ = Token::End;
    QString token_;
    bool bracketed_ = false;
};

bool isNameChar(QChar c) {
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('$');
}

void Lexer::advance() {
    while (at_ < text_.size() && text_[at_].isSpace())
        ++at_;
    token_.clear();
    bracketed_ = false;
    if (at_ >= text_.size()) {
        kind_ = Token::End;
        return;
    }
    const QChar c = text_[at_];
    if (c == QLatin1Char('[')) {
        const qsizetype close = text_.indexOf(QLatin1Char(']'), at_ + 1);
        if (close < 0) {
            kind_ = Token::Invalid;
            return;
        }
        token_ = text_.mid(at_ + 1, close - at_ - 1).toString();
        bracketed_ = true;
        kind_ = Token::Name;
        at_ = close + 1;
        return;
    }
    if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
        // A quote is written twice inside.
        for (qsizetype i = at_ + 1; i < text_.size(); ++i) {
            if (text_[i] != c) {
                token_ += text_[i];
                continue;
            }
            if (i + 1 < text_.size() && text_[i + 1] == c) {
                token_ += c;
                ++i;
                continue;
            }
            kind_ = Token::Text;
            at_ = i + 1;
            return;
        }
        kind_ = Token::Invalid;
        return;
    }
    if (c.isDigit() || (c == QLatin1Char('.') && at_ + 1 < text_.size() && text_[at_ + 1].isDigit())) {
        qsizetype end = at_;
        while (end < text_.size() && (text_[end].isDigit() || text_[end] == QLatin1Char('.')))
            ++end;
        token_ = text_.mid(at_, end - at_).toString();
        kind_ = Token::Number;
        at_ = end;
        return;
    }
    if (isNameChar(c)) {
        qsizetype end = at_;
        while (end < text_.size() && isNameChar(text_[end]))
            ++end;
        token_ = text_.mid(at_, end - at_).toString();
        kind_ = Token::Name;
        at_ = end;
        return;
    }
    for (const char* symbol : {"<>", "<=", ">=", "=", "<", ">", "&", "+", "(", ")", ",", "."}) {
        const QLatin1StringView s(symbol);
        if (text_.mid(at_).startsWith(s)) {
            token_ = s;
            kind_ = Token::Symbol;
            at_ += s.size();
            return;
        }
    }
    kind_ = Token::Invalid;
}

// ---- Parser -------------------------------------------------------------------

std::optional<Function> functionNamed(QString name) {
    if (name.endsWith(QLatin1Char('$')))
        name.chop(1);
    static const std::pair<const char*, Function> functions[] = {
        {"IIF", Function::IIf},     {"ISNULL", Function::IsNull}, {"NZ", Function::Nz},
        {"TRIM", Function::Trim},   {"LTRIM", Function::LTrim},   {"RTRIM", Function::RTrim},
        {"UCASE", Function::UCase}, {"LCASE", Function::LCase},   {"LEFT", Function::Left},
        {"RIGHT", Function::Right}, {"MID", Function::Mid},       {"LEN", Function::Len},
    };
    for (const auto& [text, function] : functions) {
        if (name.compare(QLatin1StringView(text), Qt::CaseInsensitive) == 0)
            return function;
    }
    return std::nullopt;
}

// The arguments each function takes: the least and the most.
std::pair<std::size_t, std::size_t> arity(Function f) {
    switch (f) {
        case Function::IIf:
            return {3, 3};
        case Function::Nz:
            return {1, 2};
        case Function::Left:
        case Function::Right:
            return {2, 2};
        case Function::Mid:
            return {2, 3};
        default:
            return {1, 1};
    }
}

class Parser {
  public:
    Parser(QStringView text, std::vector<Expression::Reference>& references)
        : lexer_(text), references_(references) {}

    NodePtr parseAll() {
        NodePtr root = expression();
        return root && lexer_.kind() == Token::End ? std::move(root) : nullptr;
    }

  private:
    // Every node counts, so that a long chain (a & b & c ...) cannot make a
    // tree deeper than its evaluation can follow.
    NodePtr node(Op op, NodePtr left = nullptr, NodePtr right = nullptr) {
        if (++nodes_ > Expression::kMaxNodes)
            return nullptr;
        auto n = std::make_unique<Node>();
        n->op = op;
        if (left)
            n->operands.push_back(std::move(left));
        if (right)
            n->operands.push_back(std::move(right));
        return n;
    }

    // Guards every level of nesting, so that hostile text cannot exhaust the stack.
    struct Depth {
        explicit Depth(int& depth) : depth_(depth) { ++depth_; }
        ~Depth() { --depth_; }
        bool tooDeep() const { return depth_ > Expression::kMaxDepth; }
        int& depth_;
    };

    NodePtr expression() { return orExpression(); }

    // One level of left-associative operators: next (word next)*.
    NodePtr leftAssociative(QStringView word, Op op, NodePtr (Parser::*next)()) {
        NodePtr left = (this->*next)();
        while (left && lexer_.is(word)) {
            lexer_.advance();
            NodePtr right = (this->*next)();
            left = right ? node(op, std::move(left), std::move(right)) : nullptr;
        }
        return left;
    }

    NodePtr orExpression() { return leftAssociative(u"OR", Op::Or, &Parser::andExpression); }

    NodePtr andExpression() { return leftAssociative(u"AND", Op::And, &Parser::notExpression); }

    NodePtr notExpression() {
        const Depth depth(depth_);
        if (depth.tooDeep())
            return nullptr;
        if (!lexer_.is(u"NOT"))
            return comparison();
        lexer_.advance();
        NodePtr operand = notExpression();
        return operand ? node(Op::Not, std::move(operand)) : nullptr;
    }

    NodePtr comparison() {
        NodePtr left = concatenation();
        if (!left)
            return nullptr;
        if (lexer_.is(u"IS")) {
            lexer_.advance();
            const bool negated = lexer_.is(u"NOT");
            if (negated)
                lexer_.advance();
            if (!lexer_.is(u"NULL"))
                return nullptr;
            lexer_.advance();
            return node(negated ? Op::IsNotNull : Op::IsNull, std::move(left));
        }
        static const std::pair<const char16_t*, Op> operators[] = {
            {u"=", Op::Equal},      {u"<>", Op::NotEqual}, {u"<", Op::Less},
            {u"<=", Op::LessEqual}, {u">", Op::Greater},   {u">=", Op::GreaterEqual}};
        for (const auto& [symbol, op] : operators) {
            if (lexer_.kind() == Token::Symbol && lexer_.text() == QStringView(symbol)) {
                lexer_.advance();
                NodePtr right = concatenation();
                return right ? node(op, std::move(left), std::move(right)) : nullptr;
            }
        }
        return left;
    }

    NodePtr concatenation() { return leftAssociative(u"&", Op::Concat, &Parser::sum); }

    NodePtr sum() { return leftAssociative(u"+", Op::Add, &Parser::primary); }

    NodePtr literal(Value value) {
        lexer_.advance();
        NodePtr n = node(Op::Literal);
        if (n)
            n->literal = std::move(value);
        return n;
    }

    NodePtr number() {
        bool ok = false;
        const QString text = lexer_.text();
        if (!text.contains(QLatin1Char('.'))) {
            const qlonglong whole = text.toLongLong(&ok);
            if (ok && whole <= std::numeric_limits<std::int32_t>::max())
                return literal(Value::integer(Value::Type::Long, whole));
        }
        const double real = text.toDouble(&ok);
        return ok ? literal(Value::real(Value::Type::Double, real)) : nullptr;
    }

    NodePtr primary() {
        const Depth depth(depth_);
        if (depth.tooDeep())
            return nullptr;
        switch (lexer_.kind()) {
            case Token::Text:
                return literal(Value::fromQString(lexer_.text()));
            case Token::Number:
                return number();
            case Token::Symbol:
                return lexer_.is(u"(") ? parenthesised() : nullptr;
            case Token::Name:
                return name();
            default:
                return nullptr;
        }
    }

    NodePtr parenthesised() {
        lexer_.advance();
        NodePtr inner = expression();
        if (!inner || !lexer_.is(u")"))
            return nullptr;
        lexer_.advance();
        return inner;
    }

    NodePtr name() {
        if (!lexer_.bracketed()) {
            if (lexer_.is(u"NULL"))
                return literal(Value());
            if (lexer_.is(u"TRUE") || lexer_.is(u"FALSE"))
                return literal(Value::boolean(lexer_.is(u"TRUE")));
        }
        const QString first = lexer_.text();
        const bool bracketed = lexer_.bracketed();
        lexer_.advance();
        if (!bracketed && lexer_.is(u"("))
            return call(first);
        Expression::Reference reference{QString(), first};
        if (lexer_.is(u".")) {
            lexer_.advance();
            if (lexer_.kind() != Token::Name)
                return nullptr;
            reference = {first, lexer_.text()};
            lexer_.advance();
        }
        NodePtr n = node(Op::Reference);
        if (!n)
            return nullptr;
        n->reference = references_.size();
        references_.push_back(std::move(reference));
        return n;
    }

    NodePtr call(const QString& name) {
        const std::optional<Function> function = functionNamed(name);
        if (!function)
            return nullptr;
        lexer_.advance();  // (
        NodePtr n = node(Op::Call);
        if (!n)
            return nullptr;
        n->function = *function;
        if (!lexer_.is(u")")) {
            for (;;) {
                NodePtr argument = expression();
                if (!argument)
                    return nullptr;
                n->operands.push_back(std::move(argument));
                if (!lexer_.is(u","))
                    break;
                lexer_.advance();
            }
        }
        if (!lexer_.is(u")"))
            return nullptr;
        lexer_.advance();
        const auto [least, most] = arity(*function);
        if (n->operands.size() < least || n->operands.size() > most)
            return nullptr;
        return n;
    }

    Lexer lexer_;
    std::vector<Expression::Reference>& references_;
    int depth_ = 0;
    int nodes_ = 0;
};

// ---- Evaluation ---------------------------------------------------------------

bool isText(const Value& v) {
    return v.type() == Value::Type::Text || v.type() == Value::Type::Memo;
}

// A value as a number: numbers and dates as they are, Yes/No as Access
// counts it (-1, 0), text when it reads as a number.
std::optional<double> numberOf(const Value& v) {
    switch (v.type()) {
        case Value::Type::Boolean:
            return v.asInteger() ? -1.0 : 0.0;
        case Value::Type::Byte:
        case Value::Type::Integer:
        case Value::Type::Long:
        case Value::Type::LargeNumber:
            return double(v.asInteger());
        case Value::Type::Currency:
            return double(v.asInteger()) / 10000.0;
        case Value::Type::Single:
        case Value::Type::Double:
        case Value::Type::DateTime:
            return v.asReal();
        case Value::Type::Text:
        case Value::Type::Memo:
        case Value::Type::Decimal: {
            bool ok = false;
            const double d = QString::fromStdString(v.bytes()).trimmed().toDouble(&ok);
            return ok ? std::optional<double>(d) : std::nullopt;
        }
        default:
            return std::nullopt;
    }
}

bool isWhole(const Value& v) {
    switch (v.type()) {
        case Value::Type::Boolean:
        case Value::Type::Byte:
        case Value::Type::Integer:
        case Value::Type::Long:
        case Value::Type::LargeNumber:
            return true;
        default:
            return false;
    }
}

Value textValue(const QString& text) {
    return Value::fromQString(text);
}

// -1, 0 or 1; nothing when the two cannot be compared.
std::optional<int> compare(const Value& a, const Value& b) {
    if (isText(a) && isText(b)) {
        const int c =
            QString::fromStdString(a.bytes()).compare(QString::fromStdString(b.bytes()), Qt::CaseInsensitive);
        return (c > 0) - (c < 0);
    }
    const std::optional<double> x = numberOf(a);
    const std::optional<double> y = numberOf(b);
    if (!x || !y)
        return std::nullopt;
    return (*x > *y) - (*x < *y);
}

// A condition's truth, three-valued; Invalid for what is no condition.
enum class Truth { False, True, Null, Invalid };

Truth truthOf(const Value& v) {
    if (v.isNull())
        return Truth::Null;
    const std::optional<double> number = numberOf(v);
    if (!number)
        return Truth::Invalid;
    return *number != 0 ? Truth::True : Truth::False;
}

Value valueOf(Truth t) {
    return t == Truth::Null ? Value() : Value::boolean(t == Truth::True);
}

class Evaluator {
  public:
    explicit Evaluator(const Expression::Lookup& values) : values_(values) {}

    std::optional<Value> operator()(const Node& n) {
        switch (n.op) {
            case Op::Literal:
                return n.literal;
            case Op::Reference:
                return values_(n.reference);
            case Op::Not:
            case Op::And:
            case Op::Or:
                return logic(n);
            case Op::IsNull:
            case Op::IsNotNull: {
                const std::optional<Value> v = (*this)(*n.operands[0]);
                if (!v)
                    return std::nullopt;
                return Value::boolean(v->isNull() == (n.op == Op::IsNull));
            }
            case Op::Concat:
                return concat(n);
            case Op::Add:
                return add(n);
            case Op::Call:
                return call(n);
            default:
                return comparison(n);
        }
    }

  private:
    std::optional<Value> logic(const Node& n) {
        Truth truths[2] = {Truth::Null, Truth::Null};
        for (std::size_t i = 0; i < n.operands.size(); ++i) {
            const std::optional<Value> v = (*this)(*n.operands[i]);
            if (!v)
                return std::nullopt;
            truths[i] = truthOf(*v);
            if (truths[i] == Truth::Invalid)
                return std::nullopt;
        }
        const Truth a = truths[0];
        const Truth b = truths[1];
        if (n.op == Op::Not)
            return valueOf(a == Truth::Null ? Truth::Null : a == Truth::True ? Truth::False : Truth::True);
        if (n.op == Op::And) {
            if (a == Truth::False || b == Truth::False)
                return valueOf(Truth::False);
            return valueOf(a == Truth::True && b == Truth::True ? Truth::True : Truth::Null);
        }
        if (a == Truth::True || b == Truth::True)
            return valueOf(Truth::True);
        return valueOf(a == Truth::False && b == Truth::False ? Truth::False : Truth::Null);
    }

    std::optional<Value> comparison(const Node& n) {
        const std::optional<Value> a = (*this)(*n.operands[0]);
        const std::optional<Value> b = (*this)(*n.operands[1]);
        if (!a || !b)
            return std::nullopt;
        if (a->isNull() || b->isNull())
            return Value();
        const std::optional<int> c = compare(*a, *b);
        if (!c)
            return std::nullopt;
        switch (n.op) {
            case Op::Equal:
                return Value::boolean(*c == 0);
            case Op::NotEqual:
                return Value::boolean(*c != 0);
            case Op::Less:
                return Value::boolean(*c < 0);
            case Op::LessEqual:
                return Value::boolean(*c <= 0);
            case Op::Greater:
                return Value::boolean(*c > 0);
            default:
                return Value::boolean(*c >= 0);
        }
    }

    std::optional<Value> concat(const Node& n) {
        const std::optional<Value> a = (*this)(*n.operands[0]);
        const std::optional<Value> b = (*this)(*n.operands[1]);
        if (!a || !b)
            return std::nullopt;
        if (a->isNull() && b->isNull())
            return Value();
        return Value::text(Value::Type::Text, a->toText() + b->toText());
    }

    std::optional<Value> add(const Node& n) {
        const std::optional<Value> a = (*this)(*n.operands[0]);
        const std::optional<Value> b = (*this)(*n.operands[1]);
        if (!a || !b)
            return std::nullopt;
        if (a->isNull() || b->isNull())
            return Value();
        if (isText(*a) && isText(*b))
            return Value::text(Value::Type::Text, a->bytes() + b->bytes());
        const std::optional<double> x = numberOf(*a);
        const std::optional<double> y = numberOf(*b);
        if (!x || !y)
            return std::nullopt;
        const double total = *x + *y;
        if (isWhole(*a) && isWhole(*b) && std::fabs(total) < 9.0e15)
            return Value::integer(Value::Type::LargeNumber, static_cast<std::int64_t>(total));
        return Value::real(Value::Type::Double, total);
    }

    // A whole number argument of at least least; nothing otherwise (a Null
    // length included: Access refuses it).
    std::optional<qsizetype> count(const Value& v, qsizetype least) {
        const std::optional<double> d = numberOf(v);
        if (v.isNull() || !d || *d < double(least) || *d > 1e9)
            return std::nullopt;
        return static_cast<qsizetype>(std::floor(*d));
    }

    std::optional<Value> call(const Node& n) {
        std::vector<Value> args;
        for (const auto& operand : n.operands) {
            std::optional<Value> v = (*this)(*operand);
            if (!v)
                return std::nullopt;
            args.push_back(std::move(*v));
        }
        switch (n.function) {
            case Function::IIf: {
                const Truth truth = truthOf(args[0]);
                if (truth == Truth::Invalid)
                    return std::nullopt;
                return truth == Truth::True ? args[1] : args[2];
            }
            case Function::IsNull:
                return Value::boolean(args[0].isNull());
            case Function::Nz:
                return !args[0].isNull() ? args[0] : args.size() > 1 ? args[1] : textValue(QString());
            default:
                return text(n.function, args);
        }
    }

    std::optional<Value> text(Function f, const std::vector<Value>& args) {
        if (args[0].isNull())
            return Value();
        const QString s = QString::fromStdString(args[0].toText());
        switch (f) {
            case Function::Trim:
                return textValue(trimmed(s, true, true));
            case Function::LTrim:
                return textValue(trimmed(s, true, false));
            case Function::RTrim:
                return textValue(trimmed(s, false, true));
            case Function::UCase:
                return textValue(s.toUpper());
            case Function::LCase:
                return textValue(s.toLower());
            case Function::Len:
                return Value::integer(Value::Type::Long, s.size());
            case Function::Left:
            case Function::Right: {
                const std::optional<qsizetype> length = count(args[1], 0);
                if (!length)
                    return std::nullopt;
                return textValue(f == Function::Left ? s.left(*length) : s.right(*length));
            }
            default: {  // Mid
                const std::optional<qsizetype> start = count(args[1], 1);
                const std::optional<qsizetype> length =
                    args.size() > 2 ? count(args[2], 0) : std::optional<qsizetype>(s.size());
                if (!start || !length)
                    return std::nullopt;
                return textValue(s.mid(*start - 1, *length));
            }
        }
    }

    // Access trims blanks only, not tabs or line breaks.
    static QString trimmed(const QString& s, bool front, bool back) {
        qsizetype from = 0;
        qsizetype to = s.size();
        while (front && from < to && s[from] == QLatin1Char(' '))
            ++from;
        while (back && to > from && s[to - 1] == QLatin1Char(' '))
            --to;
        return s.mid(from, to - from);
    }

    const Expression::Lookup& values_;
};

}  // namespace

Expression::Expression() = default;
Expression::Expression(Expression&&) noexcept = default;
Expression& Expression::operator=(Expression&&) noexcept = default;
Expression::~Expression() = default;

std::optional<Expression> Expression::parse(QStringView text) {
    Expression expression;
    Parser parser(text, expression.references_);
    NodePtr root = parser.parseAll();
    if (!root)
        return std::nullopt;
    expression.root_ = std::shared_ptr<const Node>(std::move(root));
    return expression;
}

std::optional<Value> Expression::evaluate(const Lookup& values) const {
    return Evaluator(values)(*root_);
}

QString Expression::plainColumn() const {
    return root_->op == Op::Reference ? references_[root_->reference].column : QString();
}

std::optional<bool> ConditionHolds(const Value& value) {
    const Truth truth = truthOf(value);
    if (truth == Truth::Invalid)
        return std::nullopt;
    return truth == Truth::True;
}

QStringList SplitOutsideQuotes(QStringView text, QChar separator) {
    QStringList items;
    QString item;
    QChar quote;
    bool bracket = false;
    int parentheses = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (!quote.isNull()) {
            item += c;
            if (c == quote) {
                if (i + 1 < text.size() && text[i + 1] == quote)
                    item += text[++i];
                else
                    quote = QChar();
            }
            continue;
        }
        if (bracket) {
            item += c;
            bracket = c != QLatin1Char(']');
            continue;
        }
        if (c == separator && parentheses == 0) {
            items.append(item.trimmed());
            item.clear();
            continue;
        }
        if (c == QLatin1Char('"') || c == QLatin1Char('\''))
            quote = c;
        else if (c == QLatin1Char('['))
            bracket = true;
        else if (c == QLatin1Char('('))
            ++parentheses;
        else if (c == QLatin1Char(')') && parentheses > 0)
            --parentheses;
        item += c;
    }
    items.append(item.trimmed());
    return items;
}

QString Unquoted(QStringView text) {
    if (text.size() >= 2 && (text.front() == QLatin1Char('"') || text.front() == QLatin1Char('\'')) &&
        text.back() == text.front()) {
        const QChar quote = text.front();
        QString inner = text.mid(1, text.size() - 2).toString();
        inner.replace(QString(2, quote), QString(quote));
        return inner;
    }
    return text.toString();
}

}  // namespace qm
