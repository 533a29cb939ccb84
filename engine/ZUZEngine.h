// The storage engine: page file and container header, free-space maps,
// directory table and directory, stored-file page maps, and the engine's
// lists and helpers. This header gathers the unit's class groups.
#pragma once

#include "engine/DirItem.h"
#include "engine/DirTable.h"
#include "engine/Directory.h"
#include "engine/EngineContainers.h"
#include "engine/EngineUtils.h"
#include "engine/FreeSpace.h"
#include "engine/PageFile.h"
#include "engine/PageMaps.h"
