// The expression evaluator of user curves: an equation in t is normalised, checked, compiled to a
// fully parenthesised form and evaluated for any t, reporting through a status text.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <string_view>

namespace ixoral {

// The seven status texts.
inline constexpr const char* kExprAucune = "Aucune expression";
inline constexpr const char* kExprValide = "Expression valide";
inline constexpr const char* kExprInvalide = "Expression invalide";
inline constexpr const char* kExprParenthesage = "Expression invalide : erreur de parenthèsage";
inline constexpr const char* kExprNombreParentheses = "Expression invalide : nombre de parenthèses incorrect";
inline constexpr const char* kExprNombreIncorrect = "Expression invalide : nombre incorrect";
inline constexpr const char* kExprErreurCalcul = "Erreur de calcul";

enum class TExprStatus { Aucune, Valide, Invalide, Parenthesage, NombreParentheses, NombreIncorrect, ErreurCalcul };
// The text of a status.
const char* StatusText(TExprStatus status);

// The value of every invalid evaluation.
inline constexpr double kInvalidValue = 42.0;

// Bounds on what is compiled, so that no text can exhaust the stack or the time of a curve
// (which evaluates its equations thousands of times). 255 is also the longest equation a curve
// object can store, so every compiled equation can be rebuilt from its stored text.
inline constexpr size_t kMaxExpressionLength = 255;
inline constexpr int kMaxExpressionNesting = 100;

struct TOperatorEntry {
  const char* Name;
  int32_t Priority;
  bool Unary;
};

// 23 operators followed by an empty entry that ends the table; searches take the first match.
inline constexpr int kOperatorCount = 23;
extern const std::array<TOperatorEntry, kOperatorCount + 1> OperatorTable;

class TEvalExprMath {
 public:
  TEvalExprMath();
  ~TEvalExprMath();
  TEvalExprMath(const TEvalExprMath&) = delete;
  TEvalExprMath& operator=(const TEvalExprMath&) = delete;

  // Normalisation switches, both on after construction.
  bool RemoveSpaces = true;
  bool ReplaceDots = true;

  // Normalises and checks the text, and compiles it when its parentheses are correct.
  void SetExpression(std::string_view text);
  const std::string& GetExpression() const { return FExpression; }
  std::string GetStatus() const { return StatusText(FStatus); }
  TExprStatus Status() const { return FStatus; }
  // The fully parenthesised form ("(cos(t))"); kept from the previous text when the
  // parentheses of a new one are wrong.
  const std::string& GetCompiled() const { return FCompiled; }
  bool IsValid() const { return FStatus == TExprStatus::Valide; }

  // The value of the compiled form for t; 42 whenever the status is not "Expression valide".
  double Evaluate(double t);

  // Applies one operator of the table; resets the status, and reports "Erreur de calcul" with 42
  // on a floating-point error (division by zero, out of domain, overflow).
  double ApplyOperator(int entry, double x, double y);

  struct TNode;

 private:
  std::string Compile(const std::string& s, int depth);
  double EvaluateNode(const TNode& node, double t);

  std::string FExpression;
  TExprStatus FStatus = TExprStatus::Aucune;
  std::string FCompiled;
  std::unique_ptr<TNode> FTree;  // the compiled form, parsed once as Evaluate reads it
};

}  // namespace ixoral
