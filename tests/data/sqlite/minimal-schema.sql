-- Only the master.sqlite columns Morrowdeck reads and writes, without Serato's constraints.
CREATE TABLE asset (id INTEGER PRIMARY KEY, external_id INTEGER, location_id INTEGER,
                    portable_id TEXT, rating REAL, color INTEGER, bpm REAL, dj_play_count INTEGER);
CREATE TABLE container (id INTEGER PRIMARY KEY, parent_id INTEGER, name TEXT, type INTEGER,
                        list_order INTEGER);
CREATE TABLE smart_crate_rules (container_id INTEGER PRIMARY KEY, version INTEGER, rules TEXT);
