// Which keys an attribute filter asks for, so that a layer can walk the key
// index instead of the whole data file. The filter itself is still applied to
// every feature found: this only narrows the candidates.
#ifndef KRO_GDAL_GAFKEYFILTER_H
#define KRO_GDAL_GAFKEYFILTER_H

#include <optional>
#include <string>
#include <vector>

namespace kro {

// The distinct keys (in first-mention order) that every feature matching the
// parsed filter `expression` (an swq_expr_node, as OGRFeatureQuery::GetSWQExpr
// gives it) must carry in field `keyField`: from `key = 'text'`,
// `key IN ('a', 'b')`, an AND with such a term on either side, and an OR of
// such terms on both sides. Nothing when the filter does not bound the key,
// so every feature must be looked at.
std::optional<std::vector<std::string>> KeysRequiredBy(const void* expression, int keyField);

}  // namespace kro

#endif
