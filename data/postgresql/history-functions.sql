-- The functions of the item history's triggers (history.sql): one entry per changed row, with
-- the item's whole values before and after. history.sql and reorder.sql take them in.

create or replace function items_history_inserted() returns trigger language plpgsql security definer
  set search_path from current as $$
begin
  insert into ItemHistory (Workstation, Change, Action, ItemKey, Undoes,
                           NewItemDesc, NewItemNum, NewItemCnt, NewItemCst, NewTotItemCst, NewImage,
                           NewInvNum, NewVendor, NewInvDate, NewReorderLevel, NewReorderQty)
    select items_history_workstation(), items_history_kind('added'), 'insert', n.id,
           items_history_undoes(), n.ItemDesc, n.ItemNum, n.ItemCnt, n.ItemCst, n.TotItemCst,
           n.Image, n.InvNum, n.Vendor, n.InvDate, n.ReorderLevel, n.ReorderQty
      from inserted_rows n order by n.id;
  return null;
end
$$;

create or replace function items_history_updated() returns trigger language plpgsql security definer
  set search_path from current as $$
begin
  insert into ItemHistory (Workstation, Change, Action, ItemKey, Undoes,
                           OldItemDesc, OldItemNum, OldItemCnt, OldItemCst, OldTotItemCst, OldImage,
                           OldInvNum, OldVendor, OldInvDate, OldReorderLevel, OldReorderQty,
                           NewItemDesc, NewItemNum, NewItemCnt, NewItemCst, NewTotItemCst, NewImage,
                           NewInvNum, NewVendor, NewInvDate, NewReorderLevel, NewReorderQty)
    select items_history_workstation(), items_history_kind('changed'), 'update', n.id,
           items_history_undoes(), o.ItemDesc, o.ItemNum, o.ItemCnt, o.ItemCst, o.TotItemCst,
           o.Image, o.InvNum, o.Vendor, o.InvDate, o.ReorderLevel, o.ReorderQty, n.ItemDesc,
           n.ItemNum, n.ItemCnt, n.ItemCst, n.TotItemCst, n.Image, n.InvNum, n.Vendor, n.InvDate,
           n.ReorderLevel, n.ReorderQty
      from old_rows o join new_rows n on n.id = o.id
     -- a save of the same values is no change; letter case counts
     where (o.ItemDesc, o.ItemNum, o.ItemCnt, o.ItemCst, o.TotItemCst, o.Image, o.InvNum, o.Vendor,
            o.InvDate, o.ReorderLevel, o.ReorderQty) is distinct from
           (n.ItemDesc, n.ItemNum, n.ItemCnt, n.ItemCst, n.TotItemCst, n.Image, n.InvNum, n.Vendor,
            n.InvDate, n.ReorderLevel, n.ReorderQty)
     order by n.id;
  return null;
end
$$;

create or replace function items_history_deleted() returns trigger language plpgsql security definer
  set search_path from current as $$
begin
  insert into ItemHistory (Workstation, Change, Action, ItemKey, Undoes,
                           OldItemDesc, OldItemNum, OldItemCnt, OldItemCst, OldTotItemCst, OldImage,
                           OldInvNum, OldVendor, OldInvDate, OldReorderLevel, OldReorderQty)
    select items_history_workstation(), items_history_kind('deleted'), 'delete', o.id,
           items_history_undoes(), o.ItemDesc, o.ItemNum, o.ItemCnt, o.ItemCst, o.TotItemCst,
           o.Image, o.InvNum, o.Vendor, o.InvDate, o.ReorderLevel, o.ReorderQty
      from deleted_rows o order by o.id;
  return null;
end
$$;
