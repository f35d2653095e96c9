-- The Items table of a Tallyvane inventory kept on a PostgreSQL server, for a shop with several
-- workstations. Run it once, as the owner of the database, before the first Ketbook connects:
--
--     psql -h HOST -p PORT -U USER -d DBNAME -v ON_ERROR_STOP=1 -f items.sql
--
-- Ketbook never creates or alters this table; it refuses a database without it.
--
-- The columns are those of the embedded database file, with the same meaning:
--   * texts are text;
--   * ItemCst and TotItemCst are bigint ten-thousandths of a dollar (12.5 is 125000): exact, and
--     the same range as the program's money, never a floating-point number;
--   * ItemCnt is bigint;
--   * InvDate is ISO text yyyy-mm-dd, as the file keeps it, not the date type: the report sorts
--     the same text either way, and both engines hold the value exactly as Ketbook wrote it;
--   * ReorderLevel (the count at or below which the item is ordered again) and ReorderQty (how
--     many to order; empty: enough to reach twice the level) are bigint, empty for no level. A
--     server made before them gets them with reorder.sql, next to this script.
-- Unquoted names fold to lower case (items, itemdesc, ...); queries may use either spelling.
--
-- Two hidden columns serve the workstations: id, the row's key, and version, raised by one on
-- every change, whoever makes it, so that a save of a row that changed since it was shown is
-- refused instead of overwriting. Every insert, update and delete sends the row's id on the
-- channel items_changed, so that every open Ketbook shows the change.

create table Items (
  id         bigserial primary key,
  version    bigint not null default 1,
  ItemDesc   text,
  ItemNum    text,
  ItemCnt    bigint,
  ItemCst    bigint,
  TotItemCst bigint,
  Image      text,
  InvNum     text,
  Vendor     text,
  InvDate    text,
  ReorderLevel bigint,
  ReorderQty   bigint
);

create function items_next_version() returns trigger language plpgsql as $$
begin
  new.version := old.version + 1;
  return new;
end
$$;

create trigger items_version before update on Items
  for each row execute function items_next_version();

create function items_notify_change() returns trigger language plpgsql as $$
begin
  if tg_op = 'DELETE' then
    perform pg_notify('items_changed', old.id::text);
  else
    perform pg_notify('items_changed', new.id::text);
  end if;
  return null;
end
$$;

create trigger items_changed after insert or update or delete on Items
  for each row execute function items_notify_change();

-- Every change is kept in the item history (history.sql, next to this script).
\ir history.sql
\ir stocktake.sql
