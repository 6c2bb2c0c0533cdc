// Normalisation, parenthesis check, compilation to the fully parenthesised form and evaluation of
// the equations of user curves.
#include "scene/EvalExpr.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <vector>

#include "platform/Encoding.h"
#include "platform/NumberFormat.h"

namespace ixoral {

const std::array<TOperatorEntry, kOperatorCount + 1> OperatorTable = {{
    {"+", 100, false},      {"-", 100, false},      {"*", 300, false},      {"/", 300, false},   {"^", 600, false},
    {"hypot", 200, false},  {"-", 500, true},       {"sqr", 500, true},     {"log", 500, true},  {"ln", 500, true},
    {"cotan", 500, true},   {"cos", 500, true},     {"sin", 500, true},     {"tan", 500, true},  {"arccos", 500, true},
    {"arcsin", 500, true},  {"arctan", 500, true},  {"cosh", 500, true},    {"sinh", 500, true}, {"tanh", 500, true},
    {"arccosh", 500, true}, {"arcsinh", 500, true}, {"arctanh", 500, true}, {"", 0, false},
}};

// A compiled form as Evaluate reads it: built once per compilation, walked for every t.
struct TEvalExprMath::TNode {
  enum TKind { Binary, Unary, Variable, Number } Kind = Number;
  int Entry = -1;
  double Value = 0;
  std::unique_ptr<TNode> Left, Right;
};

namespace {

// Compile recursion guard; the length and nesting bounds keep real texts far below it.
constexpr int kMaxCompileDepth = 1024;
// The filler that hides a parenthesised group from the operator search (no operator uses it).
constexpr char kMask = static_cast<char>(163);

// Index of the ")" matching the "(" at `open`, or npos.
size_t MatchingParen(const std::string& s, size_t open) {
  int level = 0;
  for (size_t i = open; i < s.size(); ++i) {
    if (s[i] == '(') {
      ++level;
    } else if (s[i] == ')') {
      if (--level == 0) return i;
    }
  }
  return std::string::npos;
}

// First entry of the requested kind with exactly this name; the empty name never matches.
int FindEntry(std::string_view name, bool unary) {
  if (name.empty()) return -1;
  for (int i = 0; i < kOperatorCount; ++i)
    if (OperatorTable[i].Unary == unary && name == OperatorTable[i].Name) return i;
  return -1;
}

// A number as the regional conversion reads it: comma separator, optional exponent.
std::optional<double> ReadNumber(const std::string& text) {
  if (text.find('.') != std::string::npos) return std::nullopt;
  return ParseNumber(text);
}

// A constant written with 15 significant digits and the decimal comma.
std::string ConstantText(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.15g", v);
  std::string s = buffer;
  for (char& c : s)
    if (c == '.') c = ',';
  return s;
}

struct TToken {
  bool IsOperator = false;
  int Entry = -1;
  std::string Text;
};

// Parses a compiled form into nodes following Evaluate's reading; null on anything Compile
// cannot have produced.
std::unique_ptr<TEvalExprMath::TNode> ParseCompiled(const std::string& s, int depth) {
  using TNode = TEvalExprMath::TNode;
  const size_t n = s.size();
  if (depth > kMaxCompileDepth || n < 3 || s.front() != '(' || s.back() != ')') return nullptr;
  if (s[1] == '(') {
    const size_t d = MatchingParen(s, 1);
    if (d == std::string::npos) return nullptr;
    if (d == n - 2) return ParseCompiled(s.substr(1, n - 2), depth + 1);
    const size_t k = s.find('(', d + 1);
    if (k == std::string::npos || k > n - 2) return nullptr;
    const int entry = FindEntry(std::string_view(s).substr(d + 1, k - d - 1), false);
    if (entry < 0) return nullptr;
    auto node = std::make_unique<TNode>();
    node->Kind = TNode::Binary;
    node->Entry = entry;
    node->Left = ParseCompiled(s.substr(1, d), depth + 1);
    node->Right = ParseCompiled(s.substr(k, n - 1 - k), depth + 1);
    if (!node->Left || !node->Right) return nullptr;
    return node;
  }
  const size_t k = s.find('(', 2);
  if (k != std::string::npos) {
    const std::string_view name = std::string_view(s).substr(1, k - 1);
    const int entry = FindEntry(name, true);
    if (entry >= 0) {
      auto node = std::make_unique<TNode>();
      node->Kind = TNode::Unary;
      node->Entry = entry;
      node->Left = ParseCompiled(s.substr(1 + name.size(), n - 2 - name.size()), depth + 1);
      if (!node->Left) return nullptr;
      return node;
    }
  }
  auto node = std::make_unique<TNode>();
  if (s == "(t)") {
    node->Kind = TNode::Variable;
    return node;
  }
  const auto value = ReadNumber(s.substr(1, n - 2));
  if (!value) return nullptr;
  node->Kind = TNode::Number;
  node->Value = *value;
  return node;
}

}  // namespace

const char* StatusText(TExprStatus status) {
  switch (status) {
    case TExprStatus::Aucune:
      return kExprAucune;
    case TExprStatus::Valide:
      return kExprValide;
    case TExprStatus::Invalide:
      return kExprInvalide;
    case TExprStatus::Parenthesage:
      return kExprParenthesage;
    case TExprStatus::NombreParentheses:
      return kExprNombreParentheses;
    case TExprStatus::NombreIncorrect:
      return kExprNombreIncorrect;
    case TExprStatus::ErreurCalcul:
      return kExprErreurCalcul;
  }
  return kExprInvalide;
}

TEvalExprMath::TEvalExprMath() = default;
TEvalExprMath::~TEvalExprMath() = default;

void TEvalExprMath::SetExpression(std::string_view text) {
  std::string s = AsciiLower(text);
  if (RemoveSpaces) std::erase(s, ' ');
  if (ReplaceDots)
    for (char& c : s)
      if (c == '.') c = ',';
  FExpression = std::move(s);
  FStatus = TExprStatus::Valide;

  // Parenthesis check: a count going negative, then a count not back at zero.
  bool correct = true;
  int level = 0, deepest = 0;
  for (char c : FExpression) {
    if (c == '(') ++level;
    if (c == ')') --level;
    if (level < 0) {
      FStatus = TExprStatus::Parenthesage;
      correct = false;
    }
    if (level > deepest) deepest = level;
  }
  if (level != 0) {
    FStatus = TExprStatus::NombreParentheses;
    correct = false;
  }
  if (!correct) return;  // the previous compiled form stays; Evaluate answers 42

  FTree.reset();
  if (FExpression.size() > kMaxExpressionLength || deepest > kMaxExpressionNesting) {
    FStatus = TExprStatus::Invalide;
    FCompiled.clear();
    return;
  }
  FCompiled = Compile(FExpression, 0);
  if (FStatus != TExprStatus::Valide) {
    FCompiled.clear();
    return;
  }
  FTree = ParseCompiled(FCompiled, 0);
  if (!FTree) FStatus = TExprStatus::Invalide;
}

std::string TEvalExprMath::Compile(const std::string& s, int depth) {
  FStatus = TExprStatus::Valide;
  if (s.empty() || depth > kMaxCompileDepth) {
    FStatus = TExprStatus::Invalide;
    return {};
  }
  const size_t n = s.size();
  // A group around the whole text.
  if (s[0] == '(' && MatchingParen(s, 0) == n - 1) return Compile(s.substr(1, n - 2), depth + 1);

  // A unary function applied to a group that runs to the end.
  const size_t c = s.find('(');
  if (c != std::string::npos) {
    const int entry = FindEntry(std::string_view(s).substr(0, c), true);
    if (entry >= 0 && MatchingParen(s, c) == n - 1) {
      std::string inner = Compile(s.substr(c), depth + 1);
      if (FStatus != TExprStatus::Valide) return {};
      return "(" + s.substr(0, c) + inner + ")";
    }
  }

  // Split at the top-level binary operators, groups hidden behind the filler.
  std::string masked = s;
  for (size_t i = 0; i < n;) {
    if (s[i] == '(') {
      size_t close = MatchingParen(s, i);
      if (close == std::string::npos) close = n - 1;
      for (size_t k = i; k <= close; ++k) masked[k] = kMask;
      i = close + 1;
    } else {
      ++i;
    }
  }
  std::vector<TToken> tokens;
  size_t operandStart = 0;
  for (size_t i = 0; i < n; ++i) {
    for (int e = 0; e < kOperatorCount; ++e) {
      if (OperatorTable[e].Unary) continue;
      const size_t len = std::strlen(OperatorTable[e].Name);
      if (masked.compare(i, len, OperatorTable[e].Name) != 0) continue;
      tokens.push_back({false, -1, i > operandStart ? s.substr(operandStart, i - operandStart) : ""});
      tokens.push_back({true, e, {}});
      operandStart = i + len;
      break;
    }
  }
  tokens.push_back({false, -1, operandStart < n ? s.substr(operandStart) : ""});

  if (tokens.size() == 1) {
    const std::string& t = tokens[0].Text;
    if (t == "t") return "(t)";
    if (t == "pi") return "(" + ConstantText(std::numbers::pi) + ")";
    if (t == "e") return "(" + ConstantText(std::numbers::e) + ")";
    if (!ReadNumber(t)) {
      FStatus = TExprStatus::NombreIncorrect;
      return {};
    }
    return "(" + t + ")";
  }

  // Unary minus: an empty operand before "-" becomes (0-(operand)); the walk goes on by two.
  for (size_t j = 1; j + 1 < tokens.size(); j += 2) {
    if (tokens[j - 1].Text.empty() && std::strcmp(OperatorTable[tokens[j].Entry].Name, "-") == 0) {
      tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(j - 1),
                   tokens.begin() + static_cast<std::ptrdiff_t>(j + 1));
      tokens[j - 1].Text = "(0-(" + tokens[j - 1].Text + "))";
    }
  }

  for (size_t i = 0; i < tokens.size(); i += 2) {
    tokens[i].Text = Compile(tokens[i].Text, depth + 1);
    if (FStatus != TExprStatus::Valide) return {};
  }

  // Highest priority first, the leftmost among equals: every operator is left-associative.
  while (tokens.size() > 1) {
    size_t best = 1;
    for (size_t j = 3; j < tokens.size(); j += 2)
      if (OperatorTable[tokens[j].Entry].Priority > OperatorTable[tokens[best].Entry].Priority) best = j;
    tokens[best - 1].Text =
        "(" + tokens[best - 1].Text + OperatorTable[tokens[best].Entry].Name + tokens[best + 1].Text + ")";
    tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(best),
                 tokens.begin() + static_cast<std::ptrdiff_t>(best + 2));
  }
  return tokens[0].Text;
}

double TEvalExprMath::ApplyOperator(int entry, double x, double y) {
  FStatus = TExprStatus::Valide;
  double r = kInvalidValue;
  if (entry < 0 || entry >= kOperatorCount) return r;
  switch (entry) {
    case 0:
      r = x + y;
      break;
    case 1:
      r = x - y;
      break;
    case 2:
      r = x * y;
      break;
    case 3:
      r = x / y;
      break;
    case 4:
      r = std::pow(x, y);
      break;
    case 5:
      r = std::hypot(x, y);
      break;
    case 6:
      r = -x;
      break;
    case 7:
      r = std::sqrt(x);
      break;
    case 8:
      r = std::log10(x);
      break;
    case 9:
      r = std::log(x);
      break;
    case 10:
      r = 1.0 / std::tan(x);
      break;
    case 11:
      r = std::cos(x);
      break;
    case 12:
      r = std::sin(x);
      break;
    case 13:
      r = std::tan(x);
      break;
    case 14:
      r = std::acos(x);
      break;
    case 15:
      r = std::asin(x);
      break;
    case 16:
      r = std::atan(x);
      break;
    case 17:
      r = std::cosh(x);
      break;
    case 18:
      r = std::sinh(x);
      break;
    case 19:
      r = std::tanh(x);
      break;
    case 20:
      r = std::acosh(x);
      break;
    case 21:
      r = std::asinh(x);
      break;
    case 22:
      r = std::atanh(x);
      break;
    default:
      break;
  }
  // Finite operands give a non-finite result exactly on a floating-point error.
  if (!std::isfinite(r)) {
    FStatus = TExprStatus::ErreurCalcul;
    return kInvalidValue;
  }
  return r;
}

double TEvalExprMath::EvaluateNode(const TNode& node, double t) {
  if (FStatus != TExprStatus::Valide) return kInvalidValue;
  switch (node.Kind) {
    // An error in an operand is the error of the whole evaluation: the enclosing operator is not
    // applied, so it cannot reset the status and report a value built on 42.
    case TNode::Binary: {
      const double x = EvaluateNode(*node.Left, t);
      if (FStatus != TExprStatus::Valide) return kInvalidValue;
      const double y = EvaluateNode(*node.Right, t);
      if (FStatus != TExprStatus::Valide) return kInvalidValue;
      return ApplyOperator(node.Entry, x, y);
    }
    case TNode::Unary: {
      const double x = EvaluateNode(*node.Left, t);
      if (FStatus != TExprStatus::Valide) return kInvalidValue;
      return ApplyOperator(node.Entry, x, kInvalidValue);
    }
    case TNode::Variable:
      return t;
    case TNode::Number:
      return node.Value;
  }
  return kInvalidValue;
}

double TEvalExprMath::Evaluate(double t) {
  if (!FTree || FStatus != TExprStatus::Valide) return kInvalidValue;
  return EvaluateNode(*FTree, t);
}

}  // namespace ixoral
