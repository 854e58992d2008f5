// FileScan: the candidate collection and the reference comparison, one header for the
// callers that use several of its parts.
#pragma once

#include "scan/Exclusions.h"
#include "scan/ExtFilter.h"
#include "scan/FileError.h"
#include "scan/FolderScan.h"
#include "scan/PairwiseCompare.h"
#include "scan/PathRoutines.h"
