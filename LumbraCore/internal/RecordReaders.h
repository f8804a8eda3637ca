#pragma once

// Internal: readers of the News records from simdjson values, shared by the decoders.

#include "LumbraCore/Records.h"
#include "LumbraCore/internal/JsonReader.h"

namespace RecordReaders {

Account readAccount(JsonReader::Value value);
Folder readFolder(JsonReader::Value value);
Feed readFeed(JsonReader::Value value);
Item readItem(JsonReader::Value value);

} // namespace RecordReaders
