// SizeText: byte counts as people read them.
#pragma once

#include <QString>

#include <cstdint>

// Returns "980 バイト", "4.7 KB", "612 MB", "1.8 GB" (1024-based; one decimal below 10).
QString SizeText(std::uint64_t bytes);
// Returns the exact count with digit grouping: "1,234,567 バイト".
QString ExactSizeText(std::uint64_t bytes);
