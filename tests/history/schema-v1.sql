-- A history written by schema version 1: two programs that use the same characteristic IDs.
-- %ID% and %CLUSTERED% as the program spells them for each database.
CREATE TABLE schema_version (version INTEGER NOT NULL);
INSERT INTO schema_version VALUES (1);
CREATE TABLE part (part_id %ID%, part_uuid TEXT NOT NULL UNIQUE, program_name TEXT NOT NULL,
  program_revision TEXT NOT NULL, drawing_number TEXT NOT NULL, host_file_name TEXT NOT NULL,
  measured_at TEXT NOT NULL, station TEXT NOT NULL, user_name TEXT NOT NULL, row_count INTEGER NOT NULL);
CREATE INDEX part_program_time ON part (program_name, measured_at, part_uuid);
CREATE TABLE header_value (part_id BIGINT NOT NULL REFERENCES part (part_id) ON DELETE CASCADE,
  position INTEGER NOT NULL, name TEXT NOT NULL, value TEXT NOT NULL, PRIMARY KEY (part_id, position));
CREATE TABLE measurement (part_id BIGINT NOT NULL REFERENCES part (part_id) ON DELETE CASCADE,
  position INTEGER NOT NULL, characteristic_id TEXT NOT NULL, axis TEXT NOT NULL, type TEXT NOT NULL,
  nominal DOUBLE PRECISION NOT NULL, upper_tol DOUBLE PRECISION NOT NULL, lower_tol DOUBLE PRECISION NOT NULL,
  measured DOUBLE PRECISION NOT NULL, deviation DOUBLE PRECISION NOT NULL, out_tol DOUBLE PRECISION NOT NULL,
  min_value DOUBLE PRECISION NOT NULL, max_value DOUBLE PRECISION NOT NULL, unit TEXT NOT NULL,
  output_mode TEXT NOT NULL, marked INTEGER NOT NULL, host_unique_id1 INTEGER NOT NULL,
  host_unique_id2 INTEGER NOT NULL, classification INTEGER NOT NULL, PRIMARY KEY (part_id, position))%CLUSTERED%;
CREATE INDEX measurement_trend ON measurement (characteristic_id, axis, part_id, measured, nominal, upper_tol,
  lower_tol, classification, type);
INSERT INTO part (part_uuid, program_name, program_revision, drawing_number, host_file_name, measured_at,
  station, user_name, row_count) VALUES
  ('a1', 'Welle', '', '', '', '2026-03-01T08:00:00.000Z', 's1', 'u', 2),
  ('b1', 'Nabe', '', '', '', '2026-03-01T09:00:00.000Z', 's1', 'u', 1),
  ('a2', 'Welle', '', '', '', '2026-03-01T10:00:00.000Z', 's2', 'u', 2);
INSERT INTO header_value VALUES (1, 1, 'Serial', '4711');
INSERT INTO measurement VALUES
  (1, 1, 'LOC1', 'X', 'DIST', 10, 0.1, -0.1, 10.01, 0.01, 0, 10.01, 10.01, 'mm', 'J', 0, 0, 0, 0),
  (1, 2, 'LOC1', 'Y', 'DIST', 20, 0.1, -0.1, 20.02, 0.02, 0, 20.02, 20.02, 'mm', 'J', 0, 0, 0, 0),
  (2, 1, 'LOC1', 'X', 'DIST', 5, 0.1, -0.1, 5.5, 0.5, 0.4, 5.5, 5.5, 'mm', 'J', 0, 0, 0, 2),
  (3, 1, 'LOC1', 'X', 'DIST', 10, 0.1, -0.1, 10.03, 0.03, 0, 10.03, 10.03, 'mm', 'J', 0, 0, 0, 0),
  (3, 2, 'LOC1', 'Y', 'DIST', 20, 0.1, -0.1, 20.04, 0.04, 0, 20.04, 20.04, 'mm', 'J', 0, 0, 0, 0);
