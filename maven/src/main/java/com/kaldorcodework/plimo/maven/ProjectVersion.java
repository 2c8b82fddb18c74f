package com.kaldorcodework.plimo.maven;

import java.util.regex.Matcher;
import java.util.regex.Pattern;

/** The numbers of a Maven version, as Windows version information takes them. */
final class ProjectVersion {
    // Up to four dotted numbers; a qualifier after them (-SNAPSHOT, .Final, -rc1) is dropped.
    private static final Pattern NUMBERS = Pattern.compile("^v?([0-9]+(?:\\.[0-9]+){0,3})(?![0-9])");

    private ProjectVersion() {
    }

    /** "1.4.2-SNAPSHOT" gives "1.4.2"; null when the version does not start with a number. */
    static String numbers(String version) {
        Matcher m = NUMBERS.matcher(version == null ? "" : version);
        return m.find() ? m.group(1) : null;
    }
}
