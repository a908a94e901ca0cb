#include "models/formula_parser.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>
#include <vector>

#include "models/model_function.h"
#include "records/number_scan.h"

namespace quillon {
namespace {

// Recursion of the parser: a bound well above any real formula, so that a
// pathological one ends with a message instead of exhausting the stack.
constexpr int kMaxNesting = 200;

struct FunctionName {
    std::string_view name;
    FormulaOp op;
    int arity;
};

constexpr std::array<FunctionName, 17> kFunctions{{
    {"exp", FormulaOp::Exp, 1},
    {"log", FormulaOp::Log, 1},
    {"log10", FormulaOp::Log10, 1},
    {"sqrt", FormulaOp::Sqrt, 1},
    {"abs", FormulaOp::Abs, 1},
    {"sin", FormulaOp::Sin, 1},
    {"cos", FormulaOp::Cos, 1},
    {"tan", FormulaOp::Tan, 1},
    {"asin", FormulaOp::Asin, 1},
    {"acos", FormulaOp::Acos, 1},
    {"atan", FormulaOp::Atan, 1},
    {"sinh", FormulaOp::Sinh, 1},
    {"cosh", FormulaOp::Cosh, 1},
    {"tanh", FormulaOp::Tanh, 1},
    {"atan2", FormulaOp::Atan2, 2},
    {"min", FormulaOp::Min, 2},
    {"max", FormulaOp::Max, 2},
}};

enum class TokenKind {
    Number,
    Name,
    Plus,
    Minus,
    Star,
    Slash,
    Caret,
    Open,
    Close,
    Comma,
    End,
    Bad
};

struct Token {
    TokenKind kind = TokenKind::End;
    std::size_t pos = 0;
    std::size_t len = 0;
    double number = 0.0;
};

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

bool IsNameStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) != 0 || c == '_';
}

bool IsNameChar(char c) {
    return IsNameStart(c) || std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// The parameter index of "A7" or "a12"; -1 for any other name, -2 for an
// index beyond the last parameter.
int ParamIndex(std::string_view name) {
    if (name.size() < 2 || (name[0] != 'A' && name[0] != 'a')) {
        return -1;
    }
    int index = 0;
    for (const char c : name.substr(1)) {
        if (std::isdigit(static_cast<unsigned char>(c)) == 0) {
            return -1;
        }
        index = std::min(index * 10 + (c - '0'), 1000);
    }
    return index < kFormulaMaxParams ? index : -2;
}

// The operator or bracket a character stands for (** is ^, two long).
TokenKind SymbolKind(char c, char next, std::size_t& len) {
    switch (c) {
        case '+':
            return TokenKind::Plus;
        case '-':
            return TokenKind::Minus;
        case '*':
            len = next == '*' ? 2 : 1;
            return next == '*' ? TokenKind::Caret : TokenKind::Star;
        case '/':
            return TokenKind::Slash;
        case '^':
            return TokenKind::Caret;
        case '(':
            return TokenKind::Open;
        case ')':
            return TokenKind::Close;
        case ',':
            return TokenKind::Comma;
        default:
            return TokenKind::Bad;
    }
}

const FunctionName* FindFunction(std::string_view name) {
    const std::string lower = Lower(name);
    for (const FunctionName& f : kFunctions) {
        if (f.name == lower) {
            return &f;
        }
    }
    return nullptr;
}

class Parser {
  public:
    explicit Parser(std::string_view text) : m_text(text) {}
    FormulaCompileResult Run();

  private:
    void Next();
    std::string_view TokenText() const {
        return std::string_view(m_text).substr(m_token.pos, m_token.len);
    }
    bool Fail(std::string what, std::size_t pos);
    bool FailAtToken(const std::string& what);
    bool Unexpected();

    bool Expression();
    bool Term();
    bool Unary();
    bool Power();
    bool Primary();
    bool Name();
    bool Call(const FunctionName& function, std::size_t namePos);
    bool Enter();

    void Push(FormulaInstruction in);
    void EmitUnary(FormulaOp op);
    void EmitBinary(FormulaOp op);
    bool LastIsConstant(std::size_t back) const {
        return m_code.size() > back && m_code[m_code.size() - 1 - back].op == FormulaOp::Constant;
    }

    std::string m_text;  // NUL-terminated for the number reader
    Token m_token;
    std::vector<FormulaInstruction> m_code;
    int m_depth = 0;
    int m_maxDepth = 0;
    int m_nesting = 0;
    FormulaError m_error;
    bool m_failed = false;
};

void Parser::Next() {
    std::size_t p = m_token.pos + m_token.len;
    while (p < m_text.size() && (m_text[p] == ' ' || m_text[p] == '\t')) {
        ++p;
    }
    m_token = Token{TokenKind::End, p, 0, 0.0};
    if (p >= m_text.size()) {
        return;
    }
    const char c = m_text[p];
    const char next = p + 1 < m_text.size() ? m_text[p + 1] : '\0';
    if (std::isdigit(static_cast<unsigned char>(c)) != 0 ||
        (c == '.' && std::isdigit(static_cast<unsigned char>(next)) != 0)) {
        const char* start = m_text.c_str() + p;
        const char* end = start;
        double value = 0.0;
        ScanDouble(end, value);
        m_token = Token{TokenKind::Number, p,
                        static_cast<std::size_t>(std::max<std::ptrdiff_t>(end - start, 1)), value};
        return;
    }
    if (IsNameStart(c)) {
        std::size_t e = p;
        while (e < m_text.size() && IsNameChar(m_text[e])) {
            ++e;
        }
        m_token = Token{TokenKind::Name, p, e - p, 0.0};
        return;
    }
    std::size_t len = 1;
    TokenKind kind = SymbolKind(c, next, len);
    if (kind == TokenKind::Bad) {
        // The whole character, when it takes more than one byte.
        while (p + len < m_text.size() &&
               (static_cast<unsigned char>(m_text[p + len]) & 0xC0) == 0x80) {
            ++len;
        }
    }
    m_token = Token{kind, p, len, 0.0};
}

bool Parser::Fail(std::string what, std::size_t pos) {
    if (!m_failed) {
        m_failed = true;
        int column = 1;
        for (std::size_t i = 0; i < pos && i < m_text.size(); ++i) {
            if ((static_cast<unsigned char>(m_text[i]) & 0xC0) != 0x80) {
                ++column;
            }
        }
        m_error = {std::move(what), column};
    }
    return false;
}

bool Parser::FailAtToken(const std::string& what) {
    return Fail(what, m_token.pos);
}

// The message for a token that cannot stand where it is.
bool Parser::Unexpected() {
    switch (m_token.kind) {
        case TokenKind::End:
            return FailAtToken("unexpected end of formula");
        case TokenKind::Bad:
            return FailAtToken("unexpected character '" + std::string(TokenText()) + "'");
        default:
            return FailAtToken("unexpected '" + std::string(TokenText()) + "'");
    }
}

bool Parser::Enter() {
    if (++m_nesting > kMaxNesting) {
        return FailAtToken("formula nested too deeply");
    }
    return true;
}

void Parser::Push(FormulaInstruction in) {
    m_code.push_back(in);
    m_maxDepth = std::max(m_maxDepth, ++m_depth);
}

// Operations on constants alone are done here, once, with the same
// arithmetic the program would use.
void Parser::EmitUnary(FormulaOp op) {
    if (LastIsConstant(0)) {
        double& c = m_code.back().constant;
        c = ApplyUnary(op, c);
        return;
    }
    m_code.push_back({op, 0, 0.0});
}

void Parser::EmitBinary(FormulaOp op) {
    --m_depth;
    if (LastIsConstant(0) && LastIsConstant(1)) {
        const double w = m_code.back().constant;
        m_code.pop_back();
        double& u = m_code.back().constant;
        u = ApplyBinary(op, u, w);
        return;
    }
    if (op == FormulaOp::Power && LastIsConstant(0) && m_code.back().constant == 2.0) {
        // The common square as one multiplication, correctly rounded, in
        // place of the general power.
        m_code.back() = {FormulaOp::Square, 0, 0.0};
        return;
    }
    m_code.push_back({op, 0, 0.0});
}

bool Parser::Expression() {
    if (!Enter() || !Term()) {
        return false;
    }
    while (m_token.kind == TokenKind::Plus || m_token.kind == TokenKind::Minus) {
        const FormulaOp op = m_token.kind == TokenKind::Plus ? FormulaOp::Add : FormulaOp::Subtract;
        Next();
        if (!Term()) {
            return false;
        }
        EmitBinary(op);
    }
    --m_nesting;
    return true;
}

bool Parser::Term() {
    if (!Unary()) {
        return false;
    }
    while (m_token.kind == TokenKind::Star || m_token.kind == TokenKind::Slash) {
        const FormulaOp op =
            m_token.kind == TokenKind::Star ? FormulaOp::Multiply : FormulaOp::Divide;
        Next();
        if (!Unary()) {
            return false;
        }
        EmitBinary(op);
    }
    return true;
}

// A sign binds looser than ^ (so -X^2 is -(X^2)) and tighter than * and /.
bool Parser::Unary() {
    if (m_token.kind != TokenKind::Minus && m_token.kind != TokenKind::Plus) {
        return Power();
    }
    const bool negate = m_token.kind == TokenKind::Minus;
    Next();
    if (!Enter() || !Unary()) {
        return false;
    }
    --m_nesting;
    if (negate) {
        EmitUnary(FormulaOp::Negate);
    }
    return true;
}

// ^ groups to the right (2^3^2 is 2^9), and its exponent may carry a sign.
bool Parser::Power() {
    if (!Primary()) {
        return false;
    }
    if (m_token.kind != TokenKind::Caret) {
        return true;
    }
    Next();
    if (!Enter() || !Unary()) {
        return false;
    }
    --m_nesting;
    EmitBinary(FormulaOp::Power);
    return true;
}

bool Parser::Primary() {
    switch (m_token.kind) {
        case TokenKind::Number:
            Push({FormulaOp::Constant, 0, m_token.number});
            Next();
            return true;
        case TokenKind::Name:
            return Name();
        case TokenKind::Open: {
            Next();
            if (!Expression()) {
                return false;
            }
            if (m_token.kind != TokenKind::Close) {
                return m_token.kind == TokenKind::End ? FailAtToken("missing ')'") : Unexpected();
            }
            Next();
            return true;
        }
        default:
            return Unexpected();
    }
}

bool Parser::Name() {
    const std::string_view name = TokenText();
    const std::size_t pos = m_token.pos;
    const std::string lower = Lower(name);
    Next();
    const bool called = m_token.kind == TokenKind::Open;
    if (const FunctionName* function = FindFunction(name)) {
        if (!called) {
            return Fail("'" + lower + "' needs its argument in parentheses", pos);
        }
        return Call(*function, pos);
    }
    const int index = ParamIndex(name);
    const bool known = lower == "x" || lower == "pi" || index >= 0;
    if (called) {
        return known ? FailAtToken("missing operator before '('")
                     : Fail("unknown function '" + std::string(name) + "'", pos);
    }
    if (lower == "x") {
        Push({FormulaOp::X, 0, 0.0});
        return true;
    }
    if (lower == "pi") {
        Push({FormulaOp::Constant, 0, kPi});
        return true;
    }
    if (index == -2) {
        return Fail("parameter '" + std::string(name) + "' beyond A31 (32 parameters at most)",
                    pos);
    }
    if (index < 0) {
        return Fail("unknown variable '" + std::string(name) + "'", pos);
    }
    Push({FormulaOp::Param, index, 0.0});
    return true;
}

bool Parser::Call(const FunctionName& function, std::size_t namePos) {
    Next();  // the opening parenthesis
    int arguments = 0;
    if (m_token.kind != TokenKind::Close) {
        while (true) {
            if (!Expression()) {
                return false;
            }
            ++arguments;
            if (m_token.kind != TokenKind::Comma) {
                break;
            }
            Next();
        }
    }
    if (m_token.kind != TokenKind::Close) {
        return m_token.kind == TokenKind::End ? FailAtToken("missing ')'") : Unexpected();
    }
    if (arguments != function.arity) {
        const std::string count = function.arity == 1 ? "1 argument" : "2 arguments";
        return Fail("'" + std::string(function.name) + "' takes " + count, namePos);
    }
    Next();
    if (function.arity == 1) {
        EmitUnary(function.op);
    } else {
        EmitBinary(function.op);
    }
    return true;
}

FormulaCompileResult Parser::Run() {
    FormulaCompileResult result;
    Next();
    if (m_token.kind == TokenKind::End) {
        Fail("empty formula", m_token.pos);
    } else if (Expression() && m_token.kind != TokenKind::End) {
        if (m_token.kind == TokenKind::Close) {
            Unexpected();
        } else if (m_token.kind == TokenKind::Number || m_token.kind == TokenKind::Name ||
                   m_token.kind == TokenKind::Open) {
            FailAtToken("missing operator before '" + std::string(TokenText()) + "'");
        } else {
            Unexpected();
        }
    }
    if (!m_failed && m_maxDepth > kFormulaMaxStack) {
        Fail("formula nested too deeply", 0);
    }
    if (m_failed) {
        result.error = m_error;
        return result;
    }
    FormulaProgram program(std::move(m_code), m_maxDepth);
    if (program.ParamCount() == 0) {
        result.error = {"no parameter: the formula uses none of A0 to A31", 1};
        return result;
    }
    result.program = std::move(program);
    return result;
}

}  // namespace

FormulaCompileResult CompileFormula(std::string_view text) {
    return Parser(text).Run();
}

std::string FormulaErrorText(const FormulaError& error) {
    return error.what + " at column " + std::to_string(error.column);
}

std::string FormulaCaretLine(std::string_view text, int column) {
    std::string line;
    int at = 1;
    for (std::size_t i = 0; i < text.size() && at < column; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte & 0xC0) == 0x80) {
            continue;
        }
        line += text[i] == '\t' ? '\t' : ' ';
        ++at;
    }
    for (; at < column; ++at) {
        line += ' ';
    }
    return line + "^";
}

}  // namespace quillon
