#include "GafKeyFilter.h"

#include <algorithm>

#include "ogr_swq.h"

namespace kro {
namespace {

using Keys = std::optional<std::vector<std::string>>;

// Deep enough for any filter a user writes; a deeper tree scans instead.
constexpr int kMaxDepth = 64;

bool IsKeyColumn(const swq_expr_node* node, int keyField) {
  return node->eNodeType == SNT_COLUMN && node->table_index == 0 && node->field_index == keyField;
}

bool IsTextConstant(const swq_expr_node* node) {
  return node->eNodeType == SNT_CONSTANT && node->field_type == SWQ_STRING && !node->is_null &&
         node->string_value != nullptr;
}

void AddDistinct(std::vector<std::string>& keys, const std::string& key) {
  if (std::find(keys.begin(), keys.end(), key) == keys.end()) keys.push_back(key);
}

// `key = 'a'` or `key IN ('a', ...)`: every operand after the column is a
// text constant.
Keys KeysOfComparison(const swq_expr_node* node, int keyField) {
  if (node->nSubExprCount < 2 || !IsKeyColumn(node->papoSubExpr[0], keyField)) return std::nullopt;
  if (node->nOperation == SWQ_EQ && node->nSubExprCount != 2) return std::nullopt;
  std::vector<std::string> keys;
  for (int i = 1; i < node->nSubExprCount; ++i) {
    if (!IsTextConstant(node->papoSubExpr[i])) return std::nullopt;
    AddDistinct(keys, node->papoSubExpr[i]->string_value);
  }
  return keys;
}

Keys KeysOf(const swq_expr_node* node, int keyField, int depth) {
  if (node == nullptr || node->eNodeType != SNT_OPERATION || depth > kMaxDepth) return std::nullopt;
  switch (node->nOperation) {
    case SWQ_EQ:
    case SWQ_IN:
      return KeysOfComparison(node, keyField);
    case SWQ_AND: {
      // The narrower side is enough; the filter checks the other.
      Keys best;
      for (int i = 0; i < node->nSubExprCount; ++i) {
        Keys side = KeysOf(node->papoSubExpr[i], keyField, depth + 1);
        if (side && (!best || side->size() < best->size())) best = std::move(side);
      }
      return best;
    }
    case SWQ_OR: {
      std::vector<std::string> all;
      for (int i = 0; i < node->nSubExprCount; ++i) {
        Keys side = KeysOf(node->papoSubExpr[i], keyField, depth + 1);
        if (!side) return std::nullopt;
        for (const std::string& key : *side) AddDistinct(all, key);
      }
      return all;
    }
    default:
      return std::nullopt;
  }
}

}  // namespace

std::optional<std::vector<std::string>> KeysRequiredBy(const void* expression, int keyField) {
  if (keyField < 0) return std::nullopt;
  return KeysOf(static_cast<const swq_expr_node*>(expression), keyField, 0);
}

}  // namespace kro
