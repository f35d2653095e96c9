-- The reorder levels of a Tallyvane inventory on a PostgreSQL server made before them (by
-- items.sql and history.sql without ReorderLevel): run it once, as the owner of the database:
--
--     psql -h HOST -p PORT -U USER -d DBNAME -v ON_ERROR_STOP=1 -f reorder.sql
--
-- Items gets two columns, empty for every item, and the history records them like every other
-- field. Programs that name the columns they read keep working; Ketbook works with or without
-- them, and keeps levels only once they are there. Running it again changes nothing.

alter table Items add column if not exists ReorderLevel bigint,
                  add column if not exists ReorderQty bigint;

alter table ItemHistory add column if not exists OldReorderLevel bigint,
                        add column if not exists OldReorderQty bigint,
                        add column if not exists NewReorderLevel bigint,
                        add column if not exists NewReorderQty bigint;

\ir history-functions.sql
