-- What changed, for clients that follow changes live: one row per change,
-- written by triggers in the transaction of the change itself, so that every
-- instance sees it once it is committed. Rows carry ids and kinds only. The
-- newest 10,000 are kept.

CREATE TABLE change_events (
  id        BIGSERIAL PRIMARY KEY,
  kind      TEXT      NOT NULL,
  store_id  BIGINT,
  item_id   BIGINT,
  record_id BIGINT
);

CREATE FUNCTION change_event(kind TEXT, store BIGINT, item BIGINT, record BIGINT) RETURNS void
LANGUAGE plpgsql AS $$
DECLARE
  added BIGINT;
BEGIN
  INSERT INTO change_events (kind, store_id, item_id, record_id)
    VALUES (kind, store, item, record) RETURNING id INTO added;
  DELETE FROM change_events WHERE id <= added - 10000;
END $$;

CREATE FUNCTION stores_changed() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
  IF TG_OP = 'INSERT' THEN
    PERFORM change_event('storeAdded', NEW.id, NULL, NULL);
  ELSE
    PERFORM change_event('storeRemoved', OLD.id, NULL, NULL);
  END IF;
  RETURN NULL;
END $$;
CREATE TRIGGER stores_changed AFTER INSERT OR DELETE ON stores
  FOR EACH ROW EXECUTE FUNCTION stores_changed();

-- Counter updates are not edits: only the deal's own text counts.
CREATE FUNCTION items_changed() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
  IF TG_OP = 'INSERT' THEN
    PERFORM change_event('dealAdded', NEW.store_id, NEW.id, NULL);
  ELSIF TG_OP = 'UPDATE' THEN
    PERFORM change_event('dealEdited', NEW.store_id, NEW.id, NULL);
  ELSE
    PERFORM change_event('dealRemoved', OLD.store_id, OLD.id, NULL);
  END IF;
  RETURN NULL;
END $$;
CREATE TRIGGER items_changed AFTER INSERT OR DELETE OR UPDATE OF name, description, price
  ON items FOR EACH ROW EXECUTE FUNCTION items_changed();

CREATE FUNCTION quantities_changed() RETURNS trigger LANGUAGE plpgsql AS $$
DECLARE
  what TEXT := CASE TG_TABLE_NAME WHEN 'interests' THEN 'interest' ELSE 'purchase' END;
BEGIN
  IF TG_OP = 'INSERT' THEN
    PERFORM change_event(what || 'Added', NULL, NEW.item_id, NEW.id);
  ELSIF TG_OP = 'UPDATE' THEN
    PERFORM change_event(what || 'Changed', NULL, NEW.item_id, NEW.id);
  ELSE
    PERFORM change_event(what || 'Removed', NULL, OLD.item_id, OLD.id);
  END IF;
  RETURN NULL;
END $$;
CREATE TRIGGER interests_changed AFTER INSERT OR DELETE OR UPDATE OF qty
  ON interests FOR EACH ROW EXECUTE FUNCTION quantities_changed();
CREATE TRIGGER purchases_changed AFTER INSERT OR DELETE OR UPDATE OF qty
  ON purchases FOR EACH ROW EXECUTE FUNCTION quantities_changed();
