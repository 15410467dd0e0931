#pragma once

// Internal to the database layer: the expressions of the row sources that
// lookup columns show (SQL text and saved queries), parsed once and evaluated
// for each row of the source. A small language of our own, as Access writes
// such expressions; the grammar, keywords and function names in any case:
//
//   expression  := or
//   or          := and { OR and }
//   and         := not { AND not }
//   not         := NOT not | comparison
//   comparison  := concat [ compare-op concat | IS [NOT] NULL ]
//   compare-op  := = | <> | < | <= | > | >=
//   concat      := sum { & sum }
//   sum         := primary { + primary }
//   primary     := literal | call | reference | ( expression )
//   call        := function ( [ expression { , expression } ] )
//   function    := IIF | ISNULL | NZ | TRIM | LTRIM | RTRIM | UCASE | LCASE
//                | LEFT | RIGHT | MID | LEN        (each also with a trailing $)
//   reference   := name [ . name ]                 a column, or table.column
//   name        := identifier | [ text without ] ]
//   literal     := "text" ("" inside for ") | 'text' | number | TRUE | FALSE | NULL
//
// Null follows Access's rules: & takes Null as empty text, + and the text
// functions give Null for a Null argument, a comparison with Null is Null,
// AND, OR and NOT are three-valued, IIf takes its false branch for Null.
// Anything outside the grammar does not parse, and a value the rules do not
// cover (text that is no number added to a number, a negative length) does
// not evaluate: the caller then shows the stored value, never a guess.

#include "database/Value.h"

#include <QString>
#include <QStringList>
#include <QStringView>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace qm {

class Expression {
  public:
    struct Node;

    // The expression the text holds; nothing when the text is not in the
    // grammar, nests deeper than kMaxDepth or has more than kMaxNodes parts.
    static std::optional<Expression> parse(QStringView text);
    static constexpr int kMaxDepth = 64;
    static constexpr int kMaxNodes = 1000;

    // The references, in order of appearance: {qualifier, column}; the
    // qualifier is empty where none was written.
    struct Reference {
        QString qualifier;
        QString column;
    };
    const std::vector<Reference>& references() const { return references_; }

    // Where the value of each reference comes from: its index in references().
    using Lookup = std::function<Value(std::size_t reference)>;
    // The value for one row; nothing when the rules do not cover it.
    std::optional<Value> evaluate(const Lookup& values) const;

    // The column name the expression gives when it is a plain reference
    // ("[Last Name]" gives "Last Name"); empty otherwise.
    QString plainColumn() const;

    Expression(Expression&&) noexcept;
    Expression& operator=(Expression&&) noexcept;
    ~Expression();

  private:
    Expression();
    std::shared_ptr<const Node> root_;
    std::vector<Reference> references_;
};

// Whether a condition's value holds: true, or a number other than 0; Null,
// false and 0 do not. Nothing for a value that is no condition.
std::optional<bool> ConditionHolds(const Value& value);

// Splits text at a separator character outside quotes ("..." and '...'),
// brackets and parentheses: the items of a value list ("a";"b"), the
// columns of a SELECT.
// Items keep their quotes; blanks around them are trimmed.
QStringList SplitOutsideQuotes(QStringView text, QChar separator);

// A quoted literal without its quotes ("" inside becomes "); other text as it is.
QString Unquoted(QStringView text);

}  // namespace qm
