// The simulator's market-data store in one include: one SQLite file per feed database number.
// The writer builds stores (sample generator, CSV import, tests); the reader serves `dbax`.
// Both map the record value structures onto table columns through the field lists of
// store_fields.h.
#ifndef QUORVEX_FEED_SIM_STORE_H
#define QUORVEX_FEED_SIM_STORE_H

#include "csv_import.h"
#include "records.h"
#include "sample.h"
#include "store_fields.h"
#include "store_reader.h"
#include "store_writer.h"

#endif
