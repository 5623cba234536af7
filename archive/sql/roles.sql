-- Who may do what in the team archive. Run as the database's owner after
-- schema.sql (or after the program made the tables on its first start):
--
--   psql -d readings -v inspector=ann -f roles.sql    (once per inspector)
--
-- Two group roles: kr_inspector may read everything, keep downloads and
-- files (with their readings, meter files and notes), and make and change
-- jobs and site conditions; kr_admin may also remove downloads and files,
-- and jobs. A person's own login role is put in one of them.

DO $$
BEGIN
  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'kr_inspector') THEN
    CREATE ROLE kr_inspector NOLOGIN;
  END IF;
  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'kr_admin') THEN
    CREATE ROLE kr_admin NOLOGIN IN ROLE kr_inspector;
  END IF;
END
$$;

GRANT USAGE ON SCHEMA public TO kr_inspector;
GRANT SELECT ON ALL TABLES IN SCHEMA public TO kr_inspector;
GRANT INSERT ON species, sources, meter_files, readings, holdings, notes, jobs, site_conditions TO kr_inspector;
-- Putting meter files in a job, and a job's site, client and notes.
GRANT UPDATE ON jobs TO kr_inspector;
GRANT UPDATE (job_id) ON meter_files TO kr_inspector;
-- New rows take their ids from the tables' identity sequences.
GRANT USAGE ON ALL SEQUENCES IN SCHEMA public TO kr_inspector;

-- Removing a download moves its readings to the next download that held
-- them and deletes the rest; removing a job frees its meter files.
GRANT DELETE ON sources, meter_files, readings, holdings, notes, jobs, site_conditions TO kr_admin;
GRANT UPDATE ON readings, meter_files TO kr_admin;

-- The inspector named with -v inspector=NAME (a login role made beforehand,
-- with a password, by CREATE ROLE NAME LOGIN PASSWORD '...').
\if :{?inspector}
  GRANT kr_inspector TO :"inspector";
\endif
