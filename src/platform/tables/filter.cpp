#include "platform/tables/filter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>

#include "platform/error.h"
#include "platform/tables/field.h"

namespace kx::tables {

namespace {

// Parentheses and "not" nest at most this deep; and/or chains are flat.
constexpr int kMaxDepth = 100;
constexpr double kMsecPerDay = 86400000.0;

enum class CmpOp { Eq, Ne, Lt, Gt, Le, Ge };

enum class TokKind { End, Name, Number, Text, Date, LParen, RParen, Op, And, Or, Not, Null, True, False };

struct Token {
  TokKind kind = TokKind::End;
  std::string text;  // name, text literal, or the token as written
  double number = 0;
  Date date;
  CmpOp op = CmpOp::Eq;
  size_t pos = 0;
};

[[noreturn]] void Fail(const std::string& filter, const std::string& reason) {
  throw kx::Error(kx::Format("Błędny filtr: \"%s\" (%s)", filter.c_str(), reason.c_str()));
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsNameStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || static_cast<unsigned char>(c) >= 0x80;
}
bool IsNameChar(char c) { return IsNameStart(c) || IsDigit(c); }

bool ValidDate(const Date& d) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (d.month < 1 || d.month > 12 || d.day < 1) return false;
  bool leap = (d.year % 4 == 0 && d.year % 100 != 0) || d.year % 400 == 0;
  return d.day <= kDays[d.month - 1] + (d.month == 2 && leap ? 1 : 0);
}

int Digits(std::string_view s, size_t pos, size_t count) {
  int n = 0;
  for (size_t i = 0; i < count; ++i) n = n * 10 + (s[pos + i] - '0');
  return n;
}

bool AllDigits(std::string_view s, size_t pos, size_t count) {
  if (pos + count > s.size()) return false;
  for (size_t i = 0; i < count; ++i) {
    if (!IsDigit(s[pos + i])) return false;
  }
  return true;
}

// yyyy-MM-dd at pos (the shape only).
bool DateShapeAt(std::string_view s, size_t pos) {
  return AllDigits(s, pos, 4) && pos + 10 <= s.size() && s[pos + 4] == '-' && AllDigits(s, pos + 5, 2) &&
         s[pos + 7] == '-' && AllDigits(s, pos + 8, 2);
}

// Texts of date, date-time and time literals written as quoted texts.
bool ParseDateText(std::string_view s, Date& out) {
  if (s.size() != 10 || !DateShapeAt(s, 0)) return false;
  out = {Digits(s, 0, 4), Digits(s, 5, 2), Digits(s, 8, 2)};
  return ValidDate(out);
}

bool ParseTimeText(std::string_view s, int32_t& msec) {
  // HH:mm or HH:mm:ss
  if (!(s.size() == 5 || s.size() == 8) || !AllDigits(s, 0, 2) || s[2] != ':' || !AllDigits(s, 3, 2)) return false;
  int h = Digits(s, 0, 2), m = Digits(s, 3, 2), sec = 0;
  if (s.size() == 8) {
    if (s[5] != ':' || !AllDigits(s, 6, 2)) return false;
    sec = Digits(s, 6, 2);
  }
  if (h > 23 || m > 59 || sec > 59) return false;
  msec = ((h * 60 + m) * 60 + sec) * 1000;
  return true;
}

bool ParseNumberText(std::string_view s, double& out) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return false;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out, std::chars_format::fixed);
  return ec == std::errc() && end == s.data() + s.size() && std::isfinite(out);
}

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

std::vector<Token> Tokenize(const std::string& text) {
  std::vector<Token> out;
  std::string_view s = text;
  size_t i = 0;
  while (true) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\r' || s[i] == '\n')) ++i;
    Token t;
    t.pos = i;
    if (i >= s.size()) {
      out.push_back(t);
      return out;
    }
    char c = s[i];
    if (c == '(' || c == ')') {
      t.kind = c == '(' ? TokKind::LParen : TokKind::RParen;
      t.text = c;
      ++i;
    } else if (c == '=' || c == '<' || c == '>') {
      t.kind = TokKind::Op;
      char next = i + 1 < s.size() ? s[i + 1] : '\0';
      if (c == '=') {
        t.op = CmpOp::Eq;
      } else if (c == '<' && next == '>') {
        t.op = CmpOp::Ne;
      } else if (next == '=') {
        t.op = c == '<' ? CmpOp::Le : CmpOp::Ge;
      } else {
        t.op = c == '<' ? CmpOp::Lt : CmpOp::Gt;
      }
      size_t len = (t.op == CmpOp::Ne || t.op == CmpOp::Le || t.op == CmpOp::Ge) ? 2 : 1;
      t.text = std::string(s.substr(i, len));
      i += len;
    } else if (c == '[') {
      size_t close = s.find(']', i + 1);
      if (close == std::string_view::npos) Fail(text, "brak zamykającego nawiasu ] nazwy pola");
      std::string_view name = s.substr(i + 1, close - i - 1);
      while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
      name = TrimRight(name);
      if (name.empty()) Fail(text, kx::Format("pusta nazwa pola na pozycji %zu", i + 1));
      t.kind = TokKind::Name;
      t.text = std::string(name);
      i = close + 1;
    } else if (c == '\'' || c == '"') {
      std::string value;
      size_t j = i + 1;
      bool closed = false;
      while (j < s.size()) {
        if (s[j] == c) {
          if (j + 1 < s.size() && s[j + 1] == c) {
            value += c;
            j += 2;
            continue;
          }
          closed = true;
          break;
        }
        value += s[j++];
      }
      if (!closed) Fail(text, kx::Format("niezamknięty tekst od pozycji %zu", i + 1));
      t.kind = TokKind::Text;
      t.text = std::move(value);
      i = j + 1;
    } else if (IsDigit(c) ||
               ((c == '-' || c == '+' || c == '.') && i + 1 < s.size() &&
                (IsDigit(s[i + 1]) || (s[i + 1] == '.' && c != '.' && i + 2 < s.size() && IsDigit(s[i + 2]))))) {
      size_t start = i;
      if (DateShapeAt(s, i) && (i + 10 == s.size() || !IsNameChar(s[i + 10])) &&
          (i + 10 == s.size() || s[i + 10] != '.')) {
        t.kind = TokKind::Date;
        t.date = {Digits(s, i, 4), Digits(s, i + 5, 2), Digits(s, i + 8, 2)};
        t.text = std::string(s.substr(i, 10));
        if (!ValidDate(t.date)) Fail(text, kx::Format("błędna data %s", t.text.c_str()));
        i += 10;
      } else {
        size_t j = i;
        if (s[j] == '-' || s[j] == '+') ++j;
        while (j < s.size() && IsDigit(s[j])) ++j;
        if (j < s.size() && s[j] == '.') {
          ++j;
          while (j < s.size() && IsDigit(s[j])) ++j;
        }
        if (j < s.size() && (IsNameChar(s[j]) || s[j] == '.' || s[j] == '-')) {
          size_t end = j;
          while (end < s.size() && (IsNameChar(s[end]) || s[end] == '.' || s[end] == '-')) ++end;
          Fail(text, kx::Format("błędna liczba %s", std::string(s.substr(start, end - start)).c_str()));
        }
        t.kind = TokKind::Number;
        t.text = std::string(s.substr(start, j - start));
        if (!ParseNumberText(t.text, t.number)) Fail(text, kx::Format("błędna liczba %s", t.text.c_str()));
        i = j;
      }
    } else if (IsNameStart(c)) {
      size_t j = i;
      while (j < s.size() && IsNameChar(s[j])) ++j;
      t.text = std::string(s.substr(i, j - i));
      std::string word = FoldFieldName(t.text);
      // clang-format off
      if (word == "and") t.kind = TokKind::And;
      else if (word == "or") t.kind = TokKind::Or;
      else if (word == "not") t.kind = TokKind::Not;
      else if (word == "null") t.kind = TokKind::Null;
      else if (word == "true") t.kind = TokKind::True;
      else if (word == "false") t.kind = TokKind::False;
      else t.kind = TokKind::Name;
      // clang-format on
      i = j;
    } else {
      unsigned char u = static_cast<unsigned char>(c);
      if (u >= 0x20 && u < 0x7F) Fail(text, kx::Format("nieoczekiwany znak '%c' na pozycji %zu", c, i + 1));
      Fail(text, kx::Format("nieoczekiwany znak o kodzie %u na pozycji %zu", static_cast<unsigned>(u), i + 1));
    }
    out.push_back(std::move(t));
  }
}

// What an operand holds, for choosing how a comparison is made.
enum class OperandType { Null, Number, Text, TextLiteral, DateLiteral, Date, Stamp, Time, Bytes };

// How a comparison is made, chosen when the filter is bound.
enum class CmpClass { Constant, NullTest, Number, Text, Date, DatePart, Stamp, Time };

struct Operand {
  enum class Kind { Field, Number, Text, Date, Null, Bool } kind = Kind::Null;
  std::string text;  // field name or text literal
  double number = 0;
  Date date;
  size_t field = 0;
  FieldKind fieldKind = FieldKind::Text;
  // A literal in the comparison's terms, fixed by Bind.
  double constNumber = 0;
  std::string constText;

  bool IsField() const { return kind == Kind::Field; }
  std::string Describe() const {
    switch (kind) {
      case Kind::Field: return "pole " + text;
      case Kind::Text: return "tekst '" + text + "'";
      case Kind::Null: return "null";
      case Kind::Bool: return number != 0 ? "true" : "false";
      default: return "wartość " + text;
    }
  }
};

struct Node {
  enum class Kind { Or, And, Not, Compare } kind = Kind::Compare;
  std::vector<int> children;
  CmpOp op = CmpOp::Eq;
  Operand a, b;
  CmpClass cls = CmpClass::Constant;
  bool constResult = false;
  bool prefixA = false, prefixB = false;  // text literal ending in "*": prefix match
};

class Parser {
 public:
  Parser(const std::string& text, std::vector<Token> tokens, std::vector<Node>& nodes)
      : m_text(text), m_tokens(std::move(tokens)), m_nodes(nodes) {}

  int ParseAll() {
    int root = ParseOr(0);
    if (Peek().kind != TokKind::End) {
      if (Peek().kind == TokKind::RParen)
        Fail(m_text, kx::Format("nadmiarowy nawias ) na pozycji %zu", Peek().pos + 1));
      Fail(m_text, kx::Format("nieoczekiwane \"%s\" na pozycji %zu", Peek().text.c_str(), Peek().pos + 1));
    }
    return root;
  }

 private:
  const Token& Peek() const { return m_tokens[m_next]; }
  const Token& Take() { return m_tokens[m_next < m_tokens.size() - 1 ? m_next++ : m_next]; }

  int Add(Node node) {
    m_nodes.push_back(std::move(node));
    return static_cast<int>(m_nodes.size() - 1);
  }

  void CheckDepth(int depth) {
    if (depth > kMaxDepth) Fail(m_text, "wyrażenie zbyt głęboko zagnieżdżone");
  }

  int ParseOr(int depth) {
    CheckDepth(depth);
    int first = ParseAnd(depth);
    if (Peek().kind != TokKind::Or) return first;
    Node node;
    node.kind = Node::Kind::Or;
    node.children.push_back(first);
    while (Peek().kind == TokKind::Or) {
      Take();
      node.children.push_back(ParseAnd(depth));
    }
    return Add(std::move(node));
  }

  int ParseAnd(int depth) {
    int first = ParseNot(depth);
    if (Peek().kind != TokKind::And) return first;
    Node node;
    node.kind = Node::Kind::And;
    node.children.push_back(first);
    while (Peek().kind == TokKind::And) {
      Take();
      node.children.push_back(ParseNot(depth));
    }
    return Add(std::move(node));
  }

  int ParseNot(int depth) {
    CheckDepth(depth);
    if (Peek().kind == TokKind::Not) {
      Take();
      Node node;
      node.kind = Node::Kind::Not;
      node.children.push_back(ParseNot(depth + 1));
      return Add(std::move(node));
    }
    if (Peek().kind == TokKind::LParen) {
      size_t open = Take().pos;
      int inner = ParseOr(depth + 1);
      if (Peek().kind != TokKind::RParen) {
        if (Peek().kind == TokKind::End)
          Fail(m_text, kx::Format("brak nawiasu zamykającego dla ( z pozycji %zu", open + 1));
        Fail(m_text, kx::Format("oczekiwano ) na pozycji %zu", Peek().pos + 1));
      }
      Take();
      return inner;
    }
    Node node;
    node.kind = Node::Kind::Compare;
    node.a = ParseOperand();
    if (Peek().kind != TokKind::Op) {
      if (Peek().kind == TokKind::End)
        Fail(m_text, kx::Format("brak operatora porównania po %s", node.a.Describe().c_str()));
      Fail(m_text, kx::Format("oczekiwano operatora porównania na pozycji %zu", Peek().pos + 1));
    }
    node.op = Take().op;
    node.b = ParseOperand();
    return Add(std::move(node));
  }

  Operand ParseOperand() {
    const Token& t = Peek();
    Operand o;
    switch (t.kind) {
      // clang-format off
      case TokKind::Name: o.kind = Operand::Kind::Field; o.text = t.text; break;
      case TokKind::Number: o.kind = Operand::Kind::Number; o.number = t.number; o.text = t.text; break;
      case TokKind::Text: o.kind = Operand::Kind::Text; o.text = t.text; break;
      case TokKind::Date: o.kind = Operand::Kind::Date; o.date = t.date; o.text = t.text; break;
      // clang-format on
      case TokKind::Null: o.kind = Operand::Kind::Null; break;
      // clang-format off
      case TokKind::True: o.kind = Operand::Kind::Bool; o.number = 1; break;
      case TokKind::False: o.kind = Operand::Kind::Bool; o.number = 0; break;
      // clang-format on
      case TokKind::End: Fail(m_text, "niepełne wyrażenie");
      default:
        Fail(m_text,
             kx::Format("oczekiwano nazwy pola lub wartości na pozycji %zu, jest \"%s\"", t.pos + 1, t.text.c_str()));
    }
    Take();
    return o;
  }

  const std::string& m_text;
  std::vector<Token> m_tokens;
  std::vector<Node>& m_nodes;
  size_t m_next = 0;
};

OperandType TypeOf(const Operand& o) {
  switch (o.kind) {
    case Operand::Kind::Null: return OperandType::Null;
    case Operand::Kind::Number:
    case Operand::Kind::Bool: return OperandType::Number;
    case Operand::Kind::Text: return OperandType::TextLiteral;
    case Operand::Kind::Date: return OperandType::DateLiteral;
    case Operand::Kind::Field: break;
  }
  switch (o.fieldKind) {
    case FieldKind::Text:
    case FieldKind::Memo: return OperandType::Text;
    case FieldKind::Short:
    case FieldKind::Integer:
    case FieldKind::AutoInc:
    case FieldKind::Number:
    case FieldKind::Currency:
    case FieldKind::Bcd:
    case FieldKind::Logical: return OperandType::Number;
    case FieldKind::Date: return OperandType::Date;
    case FieldKind::Timestamp: return OperandType::Stamp;
    case FieldKind::Time: return OperandType::Time;
    case FieldKind::Bytes:
    case FieldKind::Blob: return OperandType::Bytes;
  }
  return OperandType::Bytes;
}

// A scalar in the terms of one comparison class.
struct Scalar {
  bool null = true;
  double number = 0;
  std::string_view text;
};

Scalar FromValue(const Value& v, CmpClass cls) {
  Scalar s;
  if (v.IsNull()) return s;
  switch (cls) {
    case CmpClass::Number:
      if (v.type == Value::Type::Int || v.type == Value::Type::Bool) {
        s.number = static_cast<double>(v.i);
      } else if (v.type == Value::Type::Float) {
        s.number = v.f;
      } else if (v.type != Value::Type::Text || !ParseNumberText(v.text, s.number)) {
        return s;
      }
      break;
    case CmpClass::Text:
      if (v.type != Value::Type::Text && v.type != Value::Type::Bytes) return s;
      s.text = TrimRight(v.text);
      break;
    case CmpClass::Date:
    case CmpClass::DatePart:
      if (v.type != Value::Type::Date && v.type != Value::Type::DateTime) return s;
      s.number = static_cast<double>(DaysFromCivil(v.date));
      break;
    case CmpClass::Stamp:
      if (v.type != Value::Type::Date && v.type != Value::Type::DateTime) return s;
      s.number =
          static_cast<double>(DaysFromCivil(v.date)) * kMsecPerDay + (v.type == Value::Type::DateTime ? v.msec : 0);
      break;
    case CmpClass::Time:
      if (v.type != Value::Type::Time && v.type != Value::Type::DateTime) return s;
      s.number = v.msec;
      break;
    default: return s;
  }
  s.null = false;
  return s;
}

bool NumbersEqual(double a, double b) {
  // Decimals decoded from BCD or read from text may differ in the last bits.
  double scale = std::max({1.0, std::fabs(a), std::fabs(b)});
  return std::fabs(a - b) <= 1e-9 * scale;
}

bool Apply(CmpOp op, int order) {
  switch (op) {
    case CmpOp::Eq: return order == 0;
    case CmpOp::Ne: return order != 0;
    case CmpOp::Lt: return order < 0;
    case CmpOp::Gt: return order > 0;
    case CmpOp::Le: return order <= 0;
    case CmpOp::Ge: return order >= 0;
  }
  return false;
}

}  // namespace

struct Filter::Impl {
  std::string text;
  std::vector<Node> nodes;
  int root = -1;
  bool bound = false;
  bool usesFields = false;

  [[noreturn]] void FailBind(const std::string& tableName, const std::string& reason) const {
    if (tableName.empty()) Fail(text, reason);
    throw kx::Error(kx::Format("Błędny filtr tabeli %s: \"%s\" (%s)", tableName.c_str(), text.c_str(), reason.c_str()));
  }

  void BindCompare(Node& n, const std::string& tableName) const {
    OperandType ta = TypeOf(n.a), tb = TypeOf(n.b);
    auto mismatch = [&]() {
      FailBind(tableName, kx::Format("niezgodne typy: %s i %s", n.a.Describe().c_str(), n.b.Describe().c_str()));
    };
    if (ta == OperandType::Null || tb == OperandType::Null) {
      if (ta == OperandType::Null && tb == OperandType::Null) {
        n.cls = CmpClass::Constant;
        n.constResult = n.op == CmpOp::Eq;
      } else {
        n.cls = CmpClass::NullTest;
        // A literal against null is never null.
        const Operand& other = ta == OperandType::Null ? n.b : n.a;
        if (!other.IsField()) {
          n.cls = CmpClass::Constant;
          n.constResult = n.op == CmpOp::Ne;
        }
      }
      return;
    }
    if (ta == OperandType::Bytes || tb == OperandType::Bytes) {
      const Operand& o = ta == OperandType::Bytes ? n.a : n.b;
      FailBind(tableName, kx::Format("pola %s nie można porównywać z wartością", o.text.c_str()));
    }
    auto is = [&](OperandType x, OperandType y) { return (ta == x && tb == y) || (ta == y && tb == x); };
    auto either = [&](OperandType x) { return ta == x || tb == x; };
    if (ta == OperandType::Number && tb == OperandType::Number) {
      n.cls = CmpClass::Number;
    } else if (is(OperandType::Number, OperandType::TextLiteral)) {
      n.cls = CmpClass::Number;
    } else if ((ta == OperandType::Text || ta == OperandType::TextLiteral) &&
               (tb == OperandType::Text || tb == OperandType::TextLiteral)) {
      n.cls = CmpClass::Text;
    } else if (either(OperandType::Stamp) &&
               (ta == OperandType::Stamp || ta == OperandType::Date || ta == OperandType::DateLiteral ||
                ta == OperandType::TextLiteral) &&
               (tb == OperandType::Stamp || tb == OperandType::Date || tb == OperandType::DateLiteral ||
                tb == OperandType::TextLiteral)) {
      // A timestamp against a date-only literal compares the date part.
      bool dateOnly = either(OperandType::DateLiteral);
      if (either(OperandType::TextLiteral)) {
        const Operand& lit = ta == OperandType::TextLiteral ? n.a : n.b;
        Date d;
        dateOnly = ParseDateText(lit.text, d);
      }
      n.cls = dateOnly ? CmpClass::DatePart : CmpClass::Stamp;
    } else if ((ta == OperandType::Date || ta == OperandType::DateLiteral || ta == OperandType::TextLiteral) &&
               (tb == OperandType::Date || tb == OperandType::DateLiteral || tb == OperandType::TextLiteral) &&
               (either(OperandType::Date) || either(OperandType::DateLiteral))) {
      n.cls = CmpClass::Date;
    } else if ((ta == OperandType::Time || ta == OperandType::TextLiteral) &&
               (tb == OperandType::Time || tb == OperandType::TextLiteral) && either(OperandType::Time)) {
      n.cls = CmpClass::Time;
    } else {
      mismatch();
    }
    for (Operand* o : {&n.a, &n.b}) {
      if (o->IsField()) continue;
      switch (n.cls) {
        case CmpClass::Number:
          if (o->kind == Operand::Kind::Text) {
            if (!ParseNumberText(o->text, o->constNumber)) {
              FailBind(tableName, kx::Format("'%s' nie jest liczbą", o->text.c_str()));
            }
          } else {
            o->constNumber = o->number;
          }
          break;
        case CmpClass::Text: o->constText = std::string(TrimRight(o->text)); break;
        case CmpClass::Date:
        case CmpClass::DatePart: {
          Date d = o->date;
          if (o->kind == Operand::Kind::Text && !ParseDateText(o->text, d)) {
            FailBind(tableName, kx::Format("'%s' nie jest datą w postaci rrrr-mm-dd", o->text.c_str()));
          }
          o->constNumber = static_cast<double>(DaysFromCivil(d));
          break;
        }
        case CmpClass::Stamp: {
          Date d = o->date;
          int32_t msec = 0;
          if (o->kind == Operand::Kind::Text) {
            std::string_view s = o->text;
            if (s.size() < 16 || !ParseDateText(s.substr(0, 10), d) || s[10] != ' ' ||
                !ParseTimeText(s.substr(11), msec)) {
              FailBind(tableName,
                       kx::Format("'%s' nie jest datą i godziną w postaci rrrr-mm-dd gg:mm:ss", o->text.c_str()));
            }
          }
          o->constNumber = static_cast<double>(DaysFromCivil(d)) * kMsecPerDay + msec;
          break;
        }
        case CmpClass::Time: {
          int32_t msec = 0;
          if (!ParseTimeText(o->text, msec)) {
            FailBind(tableName, kx::Format("'%s' nie jest godziną w postaci gg:mm:ss", o->text.c_str()));
          }
          o->constNumber = msec;
          break;
        }
        default: break;
      }
    }
    if (n.cls == CmpClass::Text && (n.op == CmpOp::Eq || n.op == CmpOp::Ne)) {
      auto wild = [](const Operand& o) {
        return o.kind == Operand::Kind::Text && !o.constText.empty() && o.constText.back() == '*';
      };
      n.prefixA = wild(n.a) && !wild(n.b);
      n.prefixB = wild(n.b) && !wild(n.a);
      if (n.prefixA) n.a.constText.pop_back();
      if (n.prefixB) n.b.constText.pop_back();
    }
  }

  template <class Get>
  Scalar Load(const Operand& o, CmpClass cls, const Get& get, Value& holder) const {
    if (o.IsField()) {
      holder = get(o.field);
      return FromValue(holder, cls);
    }
    Scalar s;
    s.null = false;
    s.number = o.constNumber;
    s.text = o.constText;
    return s;
  }

  template <class Get>
  bool Eval(int index, const Get& get) const {
    const Node& n = nodes[static_cast<size_t>(index)];
    switch (n.kind) {
      case Node::Kind::Or:
        for (int child : n.children) {
          if (Eval(child, get)) return true;
        }
        return false;
      case Node::Kind::And:
        for (int child : n.children) {
          if (!Eval(child, get)) return false;
        }
        return true;
      case Node::Kind::Not: return !Eval(n.children[0], get);
      case Node::Kind::Compare: break;
    }
    if (n.cls == CmpClass::Constant) return n.constResult;
    if (n.cls == CmpClass::NullTest) {
      const Operand& field = n.a.IsField() ? n.a : n.b;
      bool isNull = get(field.field).IsNull();
      if (n.op == CmpOp::Eq) return isNull;
      if (n.op == CmpOp::Ne) return !isNull;
      return false;
    }
    Value ha, hb;
    Scalar a = Load(n.a, n.cls, get, ha);
    Scalar b = Load(n.b, n.cls, get, hb);
    if (a.null || b.null) {
      if (a.null && b.null) return n.op == CmpOp::Eq;
      return n.op == CmpOp::Ne;
    }
    int order = 0;
    if (n.cls == CmpClass::Text) {
      if (n.prefixA || n.prefixB) {
        std::string_view pattern = n.prefixA ? a.text : b.text;
        std::string_view value = n.prefixA ? b.text : a.text;
        bool starts = value.substr(0, pattern.size()) == pattern;
        return n.op == CmpOp::Eq ? starts : !starts;
      }
      int c = a.text.compare(b.text);
      order = c < 0 ? -1 : (c > 0 ? 1 : 0);
    } else if (n.cls == CmpClass::Number) {
      order = NumbersEqual(a.number, b.number) ? 0 : (a.number < b.number ? -1 : 1);
    } else {
      order = a.number == b.number ? 0 : (a.number < b.number ? -1 : 1);
    }
    return Apply(n.op, order);
  }

  template <class Get>
  bool Matches(const Get& get) const {
    if (root < 0) return true;
    if (!bound && usesFields) throw kx::Error(kx::Format("Filtr \"%s\" nie został powiązany z tabelą", text.c_str()));
    return Eval(root, get);
  }
};

Filter::Filter() : m_impl(std::make_unique<Impl>()) {}
Filter::~Filter() = default;
Filter::Filter(Filter&&) noexcept = default;
Filter& Filter::operator=(Filter&&) noexcept = default;

Filter Filter::Parse(const std::string& text) {
  Filter filter;
  Impl& impl = *filter.m_impl;
  impl.text = text;
  std::vector<Token> tokens = Tokenize(text);
  if (tokens.size() == 1) return filter;  // blank: every record
  Parser parser(text, std::move(tokens), impl.nodes);
  impl.root = parser.ParseAll();
  for (const Node& n : impl.nodes) {
    if (n.kind == Node::Kind::Compare && (n.a.IsField() || n.b.IsField())) impl.usesFields = true;
  }
  // Literal-only comparisons need no table; fix their terms now.
  if (!impl.usesFields) filter.Bind({}, {});
  return filter;
}

void Filter::Bind(const std::vector<FieldDef>& fields, const std::string& tableName) {
  Impl& impl = *m_impl;
  for (Node& n : impl.nodes) {
    if (n.kind != Node::Kind::Compare) continue;
    for (Operand* o : {&n.a, &n.b}) {
      if (!o->IsField()) continue;
      auto index = FindFieldIndex(fields, o->text);
      if (!index) impl.FailBind(tableName, kx::Format("brak pola %s", o->text.c_str()));
      o->field = *index;
      o->fieldKind = fields[*index].kind;
      o->text = fields[*index].name;
    }
    // Literals are fixed afresh for every binding.
    n.prefixA = n.prefixB = false;
    impl.BindCompare(n, tableName);
  }
  impl.bound = true;
}

bool Filter::Empty() const { return m_impl->root < 0; }
const std::string& Filter::Text() const { return m_impl->text; }

std::vector<size_t> Filter::FieldsUsed() const {
  std::vector<size_t> out;
  for (const Node& n : m_impl->nodes) {
    if (n.kind != Node::Kind::Compare) continue;
    for (const Operand* o : {&n.a, &n.b}) {
      if (o->IsField()) out.push_back(o->field);
    }
  }
  return out;
}

bool Filter::Matches(const TableSource& source, size_t record) const {
  return m_impl->Matches([&](size_t field) { return source.Get(record, field); });
}

bool Filter::Matches(const std::vector<Value>& row) const {
  return m_impl->Matches([&](size_t field) { return field < row.size() ? row[field] : Value(); });
}

}  // namespace kx::tables
