-- The delivered run database. Dates are local time, stored as sortable text 'yyyy-MM-dd HH:mm:ss'.
-- Text comparisons use the default binary collation: range texts match exactly, letter case included.

CREATE TABLE tblSavedRuns (
    RunNo         INTEGER PRIMARY KEY CHECK (RunNo BETWEEN 1 AND 32767),
    runip         TEXT    NOT NULL UNIQUE,
    runcreatedate TEXT    NOT NULL,
    numberofruns  INTEGER NOT NULL DEFAULT 0
);

CREATE TABLE tblSuccess (
    RunNo      INTEGER NOT NULL REFERENCES tblSavedRuns (RunNo) ON DELETE CASCADE,
    RunDate    TEXT    NOT NULL,
    successIP  TEXT    NOT NULL,
    SuccessRTT TEXT
);
CREATE INDEX idxSuccessRunNo ON tblSuccess (RunNo);

CREATE TABLE tblSchedules (
    scheddate TEXT NOT NULL,
    schedip   TEXT NOT NULL REFERENCES tblSavedRuns (runip) ON DELETE CASCADE
);
-- At most one schedule per date and time, whatever the range.
CREATE UNIQUE INDEX idxSchedulesDate ON tblSchedules (scheddate);
CREATE INDEX idxSchedulesIP ON tblSchedules (schedip);

-- The stored schedules, earliest first; rows deleted through it leave the table.
CREATE VIEW qrySchedules AS
    SELECT scheddate, schedip FROM tblSchedules ORDER BY scheddate;
CREATE TRIGGER qrySchedulesDelete INSTEAD OF DELETE ON qrySchedules
BEGIN
    DELETE FROM tblSchedules WHERE scheddate = OLD.scheddate AND schedip = OLD.schedip;
END;

-- Work tables of the Free IP Report; each report empties and refills them.
CREATE TABLE tblDistinctSuccesses (
    RunNo     INTEGER,
    SuccessIP TEXT
);

CREATE TABLE tblFreeIPReport (
    successIP TEXT,
    RunNo     INTEGER CHECK (RunNo BETWEEN -32768 AND 32767),
    Status    TEXT
);

CREATE TABLE tblCurrentRun (
    RunNo         INTEGER,
    RunIP         TEXT,
    RunCreateDate TEXT,
    NumberOfRuns  INTEGER
);

-- The report's two sections, in the order their rows were added (fourth octet 1 to 254).
CREATE VIEW qryRptIPsFree AS
    SELECT successIP FROM tblFreeIPReport WHERE Status = 'Free' ORDER BY rowid;
CREATE VIEW qryRptIPsUsed AS
    SELECT successIP FROM tblFreeIPReport WHERE Status = 'Used' ORDER BY rowid;
