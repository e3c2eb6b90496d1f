-- Two roles for a plant's history server: stations store with doziduvov_writer (insert and read
-- only: no station can change or remove what another stored), reports and dashboards read with
-- doziduvov_reader. Run as the database's owner, in the history database:
--
--   psql -h qs-server -U owner -d cmm -f history-roles.sql
--   psql -h qs-server -U owner -d cmm -c "\password doziduvov_writer"    (and the reader)
--   PGUSER=owner doziduvov --history-setup      creates or updates the tables, as the owner
--
-- The grants below also cover tables a later version of the program adds (default privileges of
-- the owner), so --history-setup may run before or after this script.
DO $$
BEGIN
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'doziduvov_writer') THEN
        CREATE ROLE doziduvov_writer LOGIN;
    END IF;
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'doziduvov_reader') THEN
        CREATE ROLE doziduvov_reader LOGIN;
    END IF;
END
$$;
DO $$
BEGIN
    EXECUTE format('GRANT CONNECT ON DATABASE %I TO doziduvov_writer, doziduvov_reader', current_database());
END
$$;
GRANT USAGE ON SCHEMA public TO doziduvov_writer, doziduvov_reader;
GRANT SELECT, INSERT ON ALL TABLES IN SCHEMA public TO doziduvov_writer;
GRANT SELECT ON ALL TABLES IN SCHEMA public TO doziduvov_reader;
ALTER DEFAULT PRIVILEGES IN SCHEMA public GRANT SELECT, INSERT ON TABLES TO doziduvov_writer;
ALTER DEFAULT PRIVILEGES IN SCHEMA public GRANT SELECT ON TABLES TO doziduvov_reader;
