/* KOVA database: the tables, the page-default settings and the schema version.
   Run by scripts/create-db after a CREATE DATABASE with character set UTF8. */

CREATE TABLE P_PROJECT (
    oid               VARCHAR(36) NOT NULL PRIMARY KEY,
    project_name      VARCHAR(200),
    page_width        DOUBLE PRECISION,
    page_height       DOUBLE PRECISION,
    offset_x          DOUBLE PRECISION,
    offset_y          DOUBLE PRECISION,
    font_name         VARCHAR(100),
    font_size         VARCHAR(20),
    font_color        VARCHAR(40),
    font_style        VARCHAR(80),
    device_name       VARCHAR(255),
    default_device    VARCHAR(10),
    paper_orientation INTEGER,
    serial_start      INTEGER,
    serial_end        INTEGER,
    notes             VARCHAR(4000)
);

CREATE TABLE P_ITEM (
    oid                   VARCHAR(36) NOT NULL PRIMARY KEY,
    project_id            VARCHAR(36),
    item_name             VARCHAR(200),
    item_value            VARCHAR(4000),
    item_char_extra       INTEGER,
    item_type             INTEGER,
    serial_has_pre        VARCHAR(10),
    serial_pre_text       VARCHAR(200),
    serial_has_postfix    VARCHAR(10),
    serial_postfix_text   VARCHAR(200),
    serial_is_fill_zero   VARCHAR(10),
    serial_length         INTEGER,
    serial_step           INTEGER,
    serial_decrease       VARCHAR(10),
    item_rotate_degree    DOUBLE PRECISION,
    item_x                DOUBLE PRECISION,
    item_y                DOUBLE PRECISION,
    text_width            DOUBLE PRECISION,
    line_height           DOUBLE PRECISION,
    use_default_font      VARCHAR(10),
    font_name             VARCHAR(100),
    font_size             VARCHAR(20),
    font_color            VARCHAR(40),
    font_style            VARCHAR(80),
    is_active             VARCHAR(10),
    allow_newline         VARCHAR(10),
    outline_margin        DOUBLE PRECISION,
    outline_pen_width     INTEGER,
    outline_pen_Color     VARCHAR(40),
    outline_pen_Style     INTEGER,
    barcode_type          INTEGER,
    barcode_option        INTEGER,
    barcode_position      INTEGER,
    barcode_text_offset_x INTEGER,
    barcode_text_offset_y INTEGER,
    barcode_module        DOUBLE PRECISION,
    barcode_ratio         DOUBLE PRECISION,
    qrcode_quiet_zone     INTEGER,
    qrcode_encoding       INTEGER,
    file_id               VARCHAR(36)
);

CREATE INDEX IX_P_ITEM_PROJECT ON P_ITEM (project_id);

CREATE TABLE P_SETTING (
    oid           VARCHAR(36) NOT NULL PRIMARY KEY,
    setting_name  VARCHAR(100),
    setting_value VARCHAR(1000)
);

/* Physical column order matters: the file store inserts without a column list. */
CREATE TABLE P_FILE (
    oid       VARCHAR(36) NOT NULL PRIMARY KEY,
    owner     VARCHAR(36),
    file_name VARCHAR(255),
    file_type VARCHAR(40),
    file_size INTEGER,
    body      BLOB SUB_TYPE 0
);

/* The run ledger: every print run that reserved page numbers, and what became of
   its job. oid is also the job's token in the print queue's job title. */
CREATE TABLE P_RUN (
    oid         VARCHAR(36) NOT NULL PRIMARY KEY,
    project_id  VARCHAR(36),
    first_page  INTEGER,
    last_page   INTEGER,
    pages_asked INTEGER,
    start_before INTEGER,
    printer     VARCHAR(255),
    station     VARCHAR(255),
    user_name   VARCHAR(100),
    process_id  INTEGER,
    job_token   VARCHAR(64),
    job_id      INTEGER,
    started_at  TIMESTAMP,
    ended_at    TIMESTAMP,
    state       VARCHAR(20),
    message     VARCHAR(1000),
    reprint     VARCHAR(10)
);

CREATE INDEX IX_P_RUN_PROJECT ON P_RUN (project_id);
CREATE INDEX IX_P_RUN_STATE ON P_RUN (state);

/* A project's data: the CSV/TSV file (a row of P_FILE) whose rows fill its pages. */
CREATE TABLE P_DATA (
    project_id VARCHAR(36) NOT NULL PRIMARY KEY,
    file_id    VARCHAR(36),
    delimiter  VARCHAR(4),
    header_row VARCHAR(10)
);

INSERT INTO P_SETTING VALUES ('6B1C0E52-3D1A-4E8B-9F00-000000000001', 'font_name', '宋体');
INSERT INTO P_SETTING VALUES ('6B1C0E52-3D1A-4E8B-9F00-000000000002', 'font_size', '12');
INSERT INTO P_SETTING VALUES ('6B1C0E52-3D1A-4E8B-9F00-000000000003', 'font_color', 'clBlack');
INSERT INTO P_SETTING VALUES ('6B1C0E52-3D1A-4E8B-9F00-000000000004', 'font_style', '[]');
INSERT INTO P_SETTING VALUES ('6B1C0E52-3D1A-4E8B-9F00-000000000005', 'paper_orientation', '0');
INSERT INTO P_SETTING VALUES ('6B1C0E52-3D1A-4E8B-9F00-000000000006', 'page_width', '210');
INSERT INTO P_SETTING VALUES ('6B1C0E52-3D1A-4E8B-9F00-000000000007', 'page_height', '297');
INSERT INTO P_SETTING VALUES ('6B1C0E52-3D1A-4E8B-9F00-000000000008', 'offset_x', '0');
INSERT INTO P_SETTING VALUES ('6B1C0E52-3D1A-4E8B-9F00-000000000009', 'offset_y', '0');
/* Databases made before a schema change get it at start-up, up to this version. */
INSERT INTO P_SETTING VALUES ('6B1C0E52-3D1A-4E8B-9F00-00000000000A', 'schema_version', '3');

COMMIT;
