-- The item history of a Tallyvane inventory on a PostgreSQL server: every change of Items, by
-- any client (Ketbook, psql or any other), recorded by the server in the statement that makes it.
-- items.sql runs this script; on a server made before the history existed, run it once, as the
-- owner of the database, to add it:
--
--     psql -h HOST -p PORT -U USER -d DBNAME -v ON_ERROR_STOP=1 -f history.sql
--
-- (A server that has the history already but no reorder levels gets them with reorder.sql.)
--
-- Each entry holds when (UTC), who (the database user), which workstation (the name Ketbook
-- gives, else the client's address), what kind of change (added, changed, deleted, imported,
-- scanned, undo), whether the row was inserted, updated or deleted, the row's id, and the item's
-- whole values before and after.
--
-- Rights: entries are written only by the triggers below, which run with the rights of this
-- script's owner, so every role that may change Items adds entries by changing items and none can
-- add, change or delete an entry otherwise. Only the owner changes or deletes entries. The roles
-- of the workstations read the history (the History window and Undo Change); give each role that
-- is given rights on Items:
--
--     grant select on ItemHistory to ROLE;
--
-- The block at the end does so for every role that has rights on Items already.

-- The reorder levels are recorded like every other field; a server made before them gets them here.
alter table Items add column if not exists ReorderLevel bigint,
                  add column if not exists ReorderQty bigint;

create table ItemHistory (
  EntryId       bigserial primary key,
  ChangedAt     timestamptz not null default statement_timestamp(),
  ChangedBy     text not null default session_user,
  Workstation   text not null,
  Change        text not null,
  Action        text not null check (Action in ('insert', 'update', 'delete')),
  ItemKey       bigint not null,
  Undoes        bigint,
  OldItemDesc   text,
  OldItemNum    text,
  OldItemCnt    bigint,
  OldItemCst    bigint,
  OldTotItemCst bigint,
  OldImage      text,
  OldInvNum     text,
  OldVendor     text,
  OldInvDate    text,
  NewItemDesc   text,
  NewItemNum    text,
  NewItemCnt    bigint,
  NewItemCst    bigint,
  NewTotItemCst bigint,
  NewImage      text,
  NewInvNum     text,
  NewVendor     text,
  NewInvDate    text,
  OldReorderLevel bigint,
  OldReorderQty   bigint,
  NewReorderLevel bigint,
  NewReorderQty   bigint
);

create index ItemHistoryByItem on ItemHistory (ItemKey, EntryId);
create index ItemHistoryByUndo on ItemHistory (Undoes) where Undoes is not null;

-- What Ketbook tells the server in tallyvane.* settings; other clients tell nothing.
create function items_history_workstation() returns text language sql stable as $$
  select coalesce(nullif(current_setting('tallyvane.workstation', true), ''),
                  host(inet_client_addr()), 'the server')
$$;

create function items_history_kind(fallback text) returns text language sql stable as $$
  select coalesce(nullif(current_setting('tallyvane.change', true), ''), fallback)
$$;

create function items_history_undoes() returns bigint language sql stable as $$
  select nullif(current_setting('tallyvane.undoes', true), '')::bigint
$$;

\ir history-functions.sql

-- One insert per statement, however many rows it changed: an import of thousands stays fast.
create trigger items_history_insert after insert on Items
  referencing new table as inserted_rows for each statement execute function items_history_inserted();
create trigger items_history_update after update on Items
  referencing old table as old_rows new table as new_rows
  for each statement execute function items_history_updated();
create trigger items_history_delete after delete on Items
  referencing old table as deleted_rows for each statement execute function items_history_deleted();

revoke all on ItemHistory from public;
revoke all on sequence itemhistory_entryid_seq from public;

do $$
declare
  r record;
begin
  for r in select distinct grantee from information_schema.role_table_grants
            where table_name = 'items' and table_schema = current_schema()
              and grantee <> current_user and grantee <> 'PUBLIC' loop
    execute format('grant select on ItemHistory to %I', r.grantee);
  end loop;
end
$$;
