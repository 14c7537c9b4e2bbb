#!/usr/bin/env python3
"""End-to-end tests of SiteMonitor.exe under Wine on a virtual display.

Runs inside the environment that script/lib/wine-env.sh prepares (WINEPREFIX in the zh_CN
locale, DISPLAY from Xvfb). Each scenario starts the real program with `wine`, works it from
outside through our driver program (tests/e2e/driver), serves its sites from loopback HTTP servers
that the scenario starts and stops itself, and checks the run log, the stored files, the exit code
and the screen.

    run_e2e.py --build <windows build dir> --driver <sitemon_e2e_driver.exe> --scenario <name|all>
               [--minutes <run time of hostile_sites>]
"""
import argparse
import sys
import time
import traceback

from e2e_checks import Failure, log
from e2e_environment import Environment
import hostile_scenarios
import network_scenarios
import notice_scenarios
import popup_about_scenarios
import run_scenarios
import site_list_scenarios
import status_scenarios
import window_scenarios

SCENARIOS = {
    'first_start': window_scenarios.scenario_first_start,
    'stored_state': window_scenarios.scenario_stored_state,
    'drag': window_scenarios.scenario_drag,
    'blank_run_and_buttons': window_scenarios.scenario_blank_run_and_buttons,
    'popup_and_tray': window_scenarios.scenario_popup_and_tray,
    'minimised_start': window_scenarios.scenario_minimised_start,
    'run_and_stop': run_scenarios.scenario_run_and_stop,
    'leave_and_restart': run_scenarios.scenario_leave_and_restart,
    'notice_and_update': notice_scenarios.scenario_notice_and_update,
    'update_once_per_run': notice_scenarios.scenario_update_once_per_run,
    'popup_controls_and_about': popup_about_scenarios.scenario_popup_controls_and_about,
    'site_list_and_settings': site_list_scenarios.scenario_site_list_and_settings,
    'status_classes': status_scenarios.scenario_status_classes,
    'hostile_sites': hostile_scenarios.scenario_hostile_sites,
    'network_down_and_back': network_scenarios.scenario_network_down_and_back,
}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--build', required=True)
    parser.add_argument('--driver', required=True)
    parser.add_argument('--fake-sensapi', help='the stand-in sensapi.dll of the network scenario')
    parser.add_argument('--scenario', default='all', choices=['all', *SCENARIOS])
    parser.add_argument('--minutes', type=float,
                        help='how long the long-running scenarios run (hostile_sites)')
    args = parser.parse_args()
    names = list(SCENARIOS) if args.scenario == 'all' else [args.scenario]
    failed = []
    for name in names:
        began = time.monotonic()
        env = None
        try:
            env = Environment(args)
            log(f'{name}: start')
            SCENARIOS[name](env)
            log(f'{name}: passed in {time.monotonic() - began:.1f} s')
        except Failure as failure:
            log(f'{name}: FAILED after {time.monotonic() - began:.1f} s: {failure}')
            if env:
                env.describe_requests()
            failed.append(name)
        except Exception:
            traceback.print_exc()
            log(f'{name}: ERROR after {time.monotonic() - began:.1f} s')
            failed.append(name)
        finally:
            if env:
                env.cleanup()
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
