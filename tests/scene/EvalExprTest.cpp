// The expression evaluator: normalisation, compiled forms, statuses and the value 42.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "scene/EvalExpr.h"

namespace ixoral {
namespace {

struct TCompiled {
  std::string Status;
  std::string Compiled;
};

TCompiled CompileText(const std::string& text) {
  TEvalExprMath e;
  e.SetExpression(text);
  return {e.GetStatus(), e.GetCompiled()};
}

double ValueAt(const std::string& text, double t, std::string* status = nullptr) {
  TEvalExprMath e;
  e.SetExpression(text);
  const double v = e.Evaluate(t);
  if (status) *status = e.GetStatus();
  return v;
}

TEST(EvalExprTest, NewEvaluatorHasNoExpressionAndAnswers42) {
  TEvalExprMath e;
  EXPECT_EQ(e.GetStatus(), kExprAucune);
  EXPECT_EQ(e.GetCompiled(), "");
  EXPECT_TRUE(e.RemoveSpaces);
  EXPECT_TRUE(e.ReplaceDots);
  EXPECT_EQ(e.Evaluate(1.0), 42.0);
}

TEST(EvalExprTest, OperatorTableOrderAndTerminator) {
  EXPECT_STREQ(OperatorTable[1].Name, "-");
  EXPECT_FALSE(OperatorTable[1].Unary);
  EXPECT_STREQ(OperatorTable[5].Name, "hypot");
  EXPECT_EQ(OperatorTable[5].Priority, 200);
  EXPECT_STREQ(OperatorTable[6].Name, "-");
  EXPECT_TRUE(OperatorTable[6].Unary);
  EXPECT_EQ(OperatorTable[4].Priority, 600);
  EXPECT_STREQ(OperatorTable[22].Name, "arctanh");
  EXPECT_STREQ(OperatorTable[kOperatorCount].Name, "");
}

TEST(EvalExprTest, DemonstrationEquationNormalisesAndCompiles) {
  TEvalExprMath e;
  e.SetExpression("0.5 * t * cos ( 5 * t )");
  EXPECT_EQ(e.GetExpression(), "0,5*t*cos(5*t)");
  EXPECT_EQ(e.GetStatus(), kExprValide);
  EXPECT_EQ(e.GetCompiled(), "(((0,5)*(t))*(cos((5)*(t))))");
  for (double t : {0.0, 0.3, -1.7, 2.0}) EXPECT_DOUBLE_EQ(e.Evaluate(t), 0.5 * t * std::cos(5 * t));
}

TEST(EvalExprTest, CompiledFormsCharacterForCharacter) {
  EXPECT_EQ(CompileText("2*-t").Compiled, "((2)*((0)-(t)))");
  EXPECT_EQ(CompileText("cos(t)").Compiled, "(cos(t))");
  EXPECT_EQ(CompileText("t-1-1").Compiled, "(((t)-(1))-(1))");
  EXPECT_EQ(CompileText("-t^2").Compiled, "(((0)-(t))^(2))");
  EXPECT_EQ(CompileText("3hypot4").Compiled, "((3)hypot(4))");
  EXPECT_EQ(CompileText("((t))").Compiled, "(t)");
  EXPECT_EQ(CompileText("pi").Compiled, "(3,14159265358979)");
  EXPECT_EQ(CompileText("E").Compiled, "(2,71828182845905)");
  // A unary name before a group that runs to the end is a function, "-" included.
  EXPECT_EQ(CompileText("-(t)").Compiled, "(-(t))");
  EXPECT_EQ(CompileText("sin(t)^2").Compiled, "((sin(t))^(2))");
  EXPECT_EQ(CompileText("t+2*t^3").Compiled, "((t)+((2)*((t)^(3))))");
  EXPECT_EQ(CompileText("arccos(cos(t))").Compiled, "(arccos(cos(t)))");
}

TEST(EvalExprTest, PrioritiesAndAssociativity) {
  EXPECT_DOUBLE_EQ(ValueAt("-t^2", 3), 9);
  EXPECT_DOUBLE_EQ(ValueAt("t-1-1", 5), 3);
  EXPECT_DOUBLE_EQ(ValueAt("2^3^2", 0), 64);  // left-associative: (2^3)^2
  EXPECT_DOUBLE_EQ(ValueAt("8/4/2", 0), 1);
  EXPECT_DOUBLE_EQ(ValueAt("1+2*3", 0), 7);
  EXPECT_DOUBLE_EQ(ValueAt("3hypot4", 0), 5);
  EXPECT_DOUBLE_EQ(ValueAt("1+3hypot4", 0), 6);                 // hypot binds tighter than +
  EXPECT_DOUBLE_EQ(ValueAt("3hypot4*2", 0), std::hypot(3, 8));  // and looser than *
  EXPECT_DOUBLE_EQ(ValueAt("2*hypot", 0), 42);                  // hypot with an empty operand is invalid
}

TEST(EvalExprTest, FunctionsAndConstants) {
  EXPECT_DOUBLE_EQ(ValueAt("sqr(16)", 0), 4);  // square root, not the square
  EXPECT_DOUBLE_EQ(ValueAt("log(1000)", 0), 3);
  EXPECT_DOUBLE_EQ(ValueAt("ln(e)", 0), std::log(2.71828182845905));
  EXPECT_DOUBLE_EQ(ValueAt("cotan(t)", 0.5), 1 / std::tan(0.5));
  EXPECT_DOUBLE_EQ(ValueAt("arctanh(t)", 0.5), std::atanh(0.5));
  EXPECT_DOUBLE_EQ(ValueAt("PI", 0), 3.14159265358979);
  EXPECT_DOUBLE_EQ(ValueAt("0.5", 0), ValueAt("0,5", 0));
  EXPECT_DOUBLE_EQ(ValueAt("1,5e2", 0), 150);
  EXPECT_DOUBLE_EQ(ValueAt("-(t)", 2), -2);
}

TEST(EvalExprTest, InvalidTextsGiveTheirStatus) {
  EXPECT_EQ(CompileText("cos t").Status, kExprNombreIncorrect);
  EXPECT_EQ(CompileText("+t").Status, kExprInvalide);
  EXPECT_EQ(CompileText("").Status, kExprInvalide);
  EXPECT_EQ(CompileText("()").Status, kExprInvalide);
  EXPECT_EQ(CompileText("t*").Status, kExprInvalide);
  EXPECT_EQ(CompileText("--t").Status, kExprInvalide);
  EXPECT_EQ(CompileText("x").Status, kExprNombreIncorrect);
  EXPECT_EQ(CompileText("1,2,3").Status, kExprNombreIncorrect);
  EXPECT_EQ(CompileText("2pi").Status, kExprNombreIncorrect);
  EXPECT_EQ(CompileText("t(2)").Status, kExprNombreIncorrect);
  EXPECT_EQ(CompileText("1e999").Status, kExprNombreIncorrect);  // beyond double range
  EXPECT_EQ(CompileText("\xC3\xA9t\xFF").Status, kExprNombreIncorrect);
  std::string status;
  EXPECT_EQ(ValueAt("cos t", 1, &status), 42);
}

TEST(EvalExprTest, ParenthesisCheck) {
  TEvalExprMath e;
  e.SetExpression(")t(");
  EXPECT_EQ(e.GetStatus(), kExprParenthesage);
  EXPECT_EQ(e.GetCompiled(), "");
  EXPECT_EQ(e.Evaluate(1), 42);
  e.SetExpression("((t)");
  EXPECT_EQ(e.GetStatus(), kExprNombreParentheses);
  // A count that goes negative and ends unbalanced reports the count.
  e.SetExpression(")t((");
  EXPECT_EQ(e.GetStatus(), kExprNombreParentheses);
  // A failed check keeps the previous compiled form, but Evaluate still answers 42.
  e.SetExpression("t*2");
  ASSERT_EQ(e.GetCompiled(), "((t)*(2))");
  e.SetExpression("(t*3");
  EXPECT_EQ(e.GetCompiled(), "((t)*(2))");
  EXPECT_EQ(e.Evaluate(5), 42);
}

TEST(EvalExprTest, CalculationErrorsGive42AndStick) {
  TEvalExprMath e;
  e.SetExpression("1/(t-t)");
  EXPECT_EQ(e.GetStatus(), kExprValide);
  EXPECT_EQ(e.Evaluate(1), 42);
  EXPECT_EQ(e.GetStatus(), kExprErreurCalcul);
  EXPECT_EQ(e.Evaluate(2), 42);  // the status stays in error for later evaluations
  for (const char* text : {"ln(0)", "log(-1)", "sqr(-1)", "arccos(2)", "arcsin(-3)", "arccosh(0,5)", "arctanh(1)",
                           "cotan(0)", "10^400", "cosh(1000)", "0^-1", "(-8)^(1/3)"}) {
    std::string status;
    EXPECT_EQ(ValueAt(text, 0, &status), 42) << text;
    EXPECT_EQ(status, kExprErreurCalcul) << text;
  }
}

TEST(EvalExprTest, AnErrorInsideASubExpressionFailsTheWholeEvaluation) {
  std::string status;
  for (const char* text :
       {"(1/0)+1", "1/(t-t)+5", "5+1/(t-t)", "5/(t-t)", "-(ln(0))", "cos(1/(t-t))*2", "2^(sqr(-1)+1)-3"}) {
    EXPECT_EQ(ValueAt(text, 1, &status), 42) << text;
    EXPECT_EQ(status, kExprErreurCalcul) << text;
  }
  // Valid expressions keep their values and compiled forms.
  EXPECT_EQ(CompileText("(1/2)+1").Compiled, "(((1)/(2))+(1))");
  EXPECT_EQ(ValueAt("(1/2)+1", 1, &status), 1.5);
  EXPECT_EQ(status, kExprValide);
  EXPECT_EQ(ValueAt("-t^2+cos(0)", 3, &status), 10);
  EXPECT_EQ(status, kExprValide);
}

TEST(EvalExprTest, ApplyOperatorResetsStatus) {
  TEvalExprMath e;
  EXPECT_EQ(e.ApplyOperator(3, 1, 0), 42);
  EXPECT_EQ(e.GetStatus(), kExprErreurCalcul);
  EXPECT_EQ(e.ApplyOperator(1, 5, 2), 3);
  EXPECT_EQ(e.GetStatus(), kExprValide);
  EXPECT_EQ(e.ApplyOperator(6, 5, 2), -5);  // unary minus ignores its second operand
}

TEST(EvalExprTest, SwitchesOffKeepSpacesAndDots) {
  TEvalExprMath e;
  e.ReplaceDots = false;
  e.SetExpression("0.5");
  EXPECT_EQ(e.GetExpression(), "0.5");
  EXPECT_EQ(e.GetStatus(), kExprNombreIncorrect);  // the regional separator is the comma
  TEvalExprMath f;
  f.RemoveSpaces = false;
  f.SetExpression("T + 1");
  EXPECT_EQ(f.GetExpression(), "t + 1");
}

TEST(EvalExprTest, BoundsOnLengthAndNesting) {
  // Exactly at the bounds compiles; one more is refused.
  std::string deep = std::string(kMaxExpressionNesting, '(') + "t" + std::string(kMaxExpressionNesting, ')');
  EXPECT_EQ(CompileText(deep).Status, kExprValide);
  EXPECT_EQ(CompileText("(" + deep + ")").Status, kExprInvalide);

  std::string sum = "t";
  while (sum.size() + 2 <= kMaxExpressionLength) sum += "+t";
  TEvalExprMath e;
  e.SetExpression(sum);
  ASSERT_EQ(e.GetStatus(), kExprValide);
  EXPECT_DOUBLE_EQ(e.Evaluate(1), static_cast<double>((sum.size() + 1) / 2));
  EXPECT_EQ(CompileText(sum + "+t").Status, kExprInvalide);

  // Pathological texts end in a status quickly and without exhausting the stack.
  EXPECT_EQ(CompileText(std::string(100000, '7')).Status, kExprInvalide);
  EXPECT_EQ(CompileText(std::string(10000, '(') + "t" + std::string(10000, ')')).Status, kExprInvalide);
  EXPECT_EQ(CompileText(std::string(10000, '(')).Status, kExprNombreParentheses);
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  EXPECT_NE(CompileText(bytes).Status, kExprValide);
}

TEST(EvalExprTest, ArbitraryTextsNeverCrashAndValuesAreFinite) {
  // Random expressions from a small grammar, one in three with a character changed.
  uint32_t seed = 12345;
  auto next = [&](uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % n;
  };
  const char* atoms[] = {"t", "2", "0.5", "3,25", "pi", "e", "1e2"};
  const char* functions[] = {"cos", "sin", "sqr", "ln", "log", "arctan", "cosh", "-", "tanh"};
  const char* binaries[] = {"+", "-", "*", "/", "^", "hypot"};
  std::function<std::string(int)> expression = [&](int depth) -> std::string {
    const uint32_t pick = depth > 4 ? 0 : next(5);
    if (pick == 0) return atoms[next(7)];
    if (pick == 1) return std::string(functions[next(9)]) + "(" + expression(depth + 1) + ")";
    if (pick == 2) return "(" + expression(depth + 1) + ")";
    if (pick == 3) return "-" + expression(depth + 1);
    return expression(depth + 1) + binaries[next(6)] + expression(depth + 1);
  };
  const std::string alphabet = "t()+-*/^,.0123456789 episqrcohyl";
  int validCount = 0;
  for (int k = 0; k < 3000; ++k) {
    std::string text = expression(0);
    if (next(3) == 0)
      text[next(static_cast<uint32_t>(text.size()))] = alphabet[next(static_cast<uint32_t>(alphabet.size()))];
    TEvalExprMath e;
    e.SetExpression(text);
    const bool valid = e.IsValid();
    for (double t : {-2.0, 0.0, 0.5, 3.0}) EXPECT_TRUE(std::isfinite(e.Evaluate(t))) << text;
    if (!valid) continue;
    ++validCount;
    // A compiled form is its own compiled form, with the same values.
    TEvalExprMath again;
    again.SetExpression(e.GetCompiled());
    ASSERT_EQ(again.GetCompiled(), e.GetCompiled()) << text;
    TEvalExprMath first;
    first.SetExpression(text);
    for (double t : {-2.0, 0.5, 3.0}) {
      const double a = first.Evaluate(t), b = again.Evaluate(t);
      EXPECT_TRUE(a == b || (std::isnan(a) && std::isnan(b))) << text;
    }
  }
  EXPECT_GT(validCount, 100);
}

}  // namespace
}  // namespace ixoral
