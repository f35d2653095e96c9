-- Stocktakes on a Tallyvane server: a count of everything on the shelves that several
-- workstations count together and that outlives any one of them. items.sql takes this script in;
-- a server made before it gets it by running it once, as the owner of the database:
--
--     psql -h HOST -p PORT -U USER -d DBNAME -v ON_ERROR_STOP=1 -f stocktake.sql
--
-- One stocktake at a time. Each of its lines holds an item's count when the stocktake started,
-- the count taken and the stored count it was taken against, so that sales saved while the shop
-- is open are not taken for losses. The roles of the workstations count: give each role that is
-- given rights on Items
--
--     grant select, insert, update, delete on Stocktake, StocktakeItem to ROLE;
--     grant usage on sequence stocktake_id_seq to ROLE;
--
-- The block at the end does so for every role that has rights on Items already.

create table Stocktake (
  Id          bigserial primary key,
  StartedAt   timestamptz not null default now(),
  StartedBy   text not null default session_user,
  Workstation text not null,
  Revision    bigint not null default 0
);

-- At most one stocktake in progress: a second Start Count joins the first.
create unique index stocktake_only_one on Stocktake ((true));

create table StocktakeItem (
  Stocktake      bigint not null references Stocktake (Id) on delete cascade,
  ItemKey        bigint not null,
  AtStart        bigint,
  Counted        bigint,
  CountedAgainst bigint,
  CountedBy      text,
  primary key (Stocktake, ItemKey)
);

revoke all on Stocktake, StocktakeItem from public;
revoke all on sequence stocktake_id_seq from public;

do $$
declare
  r record;
begin
  for r in select distinct grantee from information_schema.role_table_grants
            where table_name = 'items' and table_schema = current_schema()
              and grantee <> current_user and grantee <> 'PUBLIC' loop
    execute format('grant select, insert, update, delete on Stocktake, StocktakeItem to %I', r.grantee);
    execute format('grant usage on sequence stocktake_id_seq to %I', r.grantee);
  end loop;
end
$$;
